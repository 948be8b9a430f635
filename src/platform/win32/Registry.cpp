#include "platform/win32/Registry.h"

#include "platform/win32/Handles.h"

namespace zorvane::win32 {

// Without RRF_NOEXPAND a REG_EXPAND_SZ value is expanded and then passes as REG_SZ.
constexpr DWORD kTextOnly = RRF_RT_REG_SZ | RRF_NOEXPAND;

std::optional<std::wstring> ReadText(const std::wstring& subkey, const std::wstring& name) {
    // The value may change between the size query and the read: retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), kTextOnly,
                                  nullptr, nullptr, &bytes);
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = DWORD(text.size() * sizeof(wchar_t));
        rc = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), kTextOnly, nullptr,
                          text.data(), &bytes);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
        return text;
    }
    return std::nullopt;
}

bool WriteText(const std::wstring& subkey, const std::wstring& name, const std::wstring& text) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueHkey key(raw);
    const DWORD bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

} // namespace zorvane::win32
