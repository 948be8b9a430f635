// A DLL with a common-looking name planted beside a program: when loaded it leaves a
// mark, a file named after itself with ".loaded" added.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t mark[MAX_PATH + 8];
        const DWORD n = GetModuleFileNameW(self, mark, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            lstrcatW(mark, L".loaded");
            HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }
    return TRUE;
}
