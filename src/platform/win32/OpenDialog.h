#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace zorvane::win32 {

// The Open dialog of the change-picture command. It remembers the last file
// chosen and starts from it the next time.
class OpenDialog {
  public:
    // filter is "description|pattern"; nothing on cancel or failure.
    std::optional<std::wstring> Show(HWND owner, const std::wstring& filter);

  private:
    std::wstring fileName_;
};

} // namespace zorvane::win32
