#include "platform/win32/OpenDialog.h"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>

namespace zorvane::win32 {

std::optional<std::wstring> OpenDialog::Show(HWND owner, const std::wstring& filter) {
    std::wstring filterZ = filter;
    std::replace(filterZ.begin(), filterZ.end(), L'|', L'\0');
    filterZ.append(2, L'\0');

    // Long enough for any path Windows allows; grown if the dialog asks for more.
    std::size_t capacity = 32768;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring buffer(std::max(capacity, fileName_.size() + 1), L'\0');
        std::copy(fileName_.begin(), fileName_.end(), buffer.begin());

        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = filterZ.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = DWORD(buffer.size());
        if (GetOpenFileNameW(&ofn)) {
            buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
            fileName_ = buffer;
            return fileName_;
        }
        if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL)
            return std::nullopt;
        // The first two bytes of the buffer then hold the size needed, in characters.
        const auto needed = *reinterpret_cast<const WORD*>(buffer.data());
        capacity = std::max<std::size_t>(needed + 1, buffer.size() * 2);
    }
    return std::nullopt;
}

} // namespace zorvane::win32
