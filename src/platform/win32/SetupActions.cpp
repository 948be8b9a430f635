// Custom actions of the Windows installer, in a DLL of their own (ZorvaneSetup.dll)
// that the installer carries and runs; never installed.
#include "platform/win32/ClassNames.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

namespace {

using zorvane::win32::UniqueHandleObj;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    wchar_t probe[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, probe, &size) != ERROR_MORE_DATA)
        return {};
    std::wstring value(size + 1, L'\0');
    size = DWORD(value.size());
    if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(size);
    return value;
}

std::wstring ImagePath(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = DWORD(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size))
        return {};
    path.resize(size);
    return path;
}

// True when path names a file directly in folder (which ends with a backslash).
bool InFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size())
        return false;
    if (CompareStringOrdinal(path.c_str(), int(folder.size()), folder.c_str(), int(folder.size()),
                             TRUE) != CSTR_EQUAL)
        return false;
    return path.find(L'\\', folder.size()) == std::wstring::npos;
}

} // namespace

// Asks a copy of the program that runs from INSTALLDIR to close, as a task manager
// would (its host window's close handling takes the tray icon away), and waits up to
// ten seconds for it to end, so that no file is replaced or removed under it. Sets
// ZORVANEWASRUNNING when it closed one, so that an upgrade can start it again.
extern "C" __declspec(dllexport) UINT __stdcall CloseRunningProgram(MSIHANDLE install) {
    const std::wstring folder = Property(install, L"INSTALLDIR");
    bool closed = false;
    // One copy runs per session; a few rounds cover a copy started meanwhile.
    for (int round = 0; round < 3; ++round) {
        HWND host = nullptr;
        UniqueHandleObj process;
        while ((host = FindWindowExW(HWND_DESKTOP, host, zorvane::win32::kHostClass, nullptr))) {
            DWORD pid = 0;
            GetWindowThreadProcessId(host, &pid);
            process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
            if (process && InFolder(ImagePath(process.get()), folder))
                break;
            process.reset();
        }
        if (!host || !process)
            break;
        PostMessageW(host, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
            break; // not answering: the installer's own files-in-use handling takes over
        closed = true;
    }
    if (closed)
        MsiSetPropertyW(install, L"ZORVANEWASRUNNING", L"1");
    return ERROR_SUCCESS;
}
