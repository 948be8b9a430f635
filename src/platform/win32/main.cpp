#include "app/App.h"
#include "app/LoadWorkers.h"
#include "platform/win32/DllSearch.h"
#include "platform/win32/Win32Platform.h"

#include <objbase.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // First of all: run from a Downloads folder, a stranger's DLL may sit beside the
    // exe. (Our own imports are all known system DLLs, which Windows takes from its
    // own folder.)
    zorvane::win32::RestrictDllSearch();
    // The picture decoders and the Open dialog need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int code = 0;
    {
        zorvane::win32::Win32Platform platform;
        zorvane::App app(platform);
        code = platform.Run(app);
    }
    // A picture still loading, or a frame being prepared, is abandoned: the windows are gone,
    // and the process leaves now, which ends the worker thread, rather than unwinding COM
    // under it.
    if (zorvane::LoadWorkers::Running() > 0)
        ExitProcess(UINT(code));
    if (SUCCEEDED(com))
        CoUninitialize();
    return code;
}
