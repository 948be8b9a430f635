#include "platform/win32/DllSearch.h"

#include <windows.h>

namespace zorvane::win32 {

bool RestrictDllSearch() {
    const bool restricted = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    // Takes the current folder out of the older search order too.
    SetDllDirectoryW(L"");
    return restricted;
}

} // namespace zorvane::win32
