// Looks at the program's windows from outside, for the end-to-end scripts.
//   probe [--desktop NAME] list [--all] [--pid N] [--class S] [--title S]
//       one line per top-level window (default: class starts with "Zorvane"):
//       CLASS vis= x= y= w= h= top= fg= rgn= box=l,t,r,b rects= pid= hwnd= title=TITLE
//       exit 1 when none matched
//   probe text [--pid N] [--title S]    the static, combo box and edit texts of the first
//                                       visible dialog, and "[icon] x y w h" for an icon in it
//   probe setedit --pid N TEXT          puts TEXT in the first visible edit of the pid's dialog
//   probe tray                          exit 0 when the host window's tray icon exists
//   probe alive PID                     exit 0 while the process runs
//   probe close [--pid N]               asks the host window to close, as a task manager would
//   probe hold                          does nothing until ended: started on the desktop, it keeps
//                                       the desktop and its tray open between program runs
//   probe serve                         answers commands read from stdin (see Serve)
//   probe faketray MS FILE              a taskbar that is not ready yet: started on the desktop, a
//                                       Shell_TrayWnd that refuses every icon for MS milliseconds,
//                                       then goes and announces the real one (TaskbarCreated);
//                                       FILE gets "ready", and at the end "refused=N" (the adds);
//                                       a file FILE.end ends the refusal sooner
//   probe monitors                      the layout a process started now sees: the number of
//                                       monitors and the virtual screen's left and top
//   probe run MS COMMANDLINE            starts a process on the desktop, waits up to MS:
//                                       prints "exit=CODE ms=ELAPSED", or ends it: "timeout"
// Text is UTF-8. The desktop defaults to E2E, the one the scripts start the program on.
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// Cross-process safe: the window manager answers WM_GETTEXT for any window.
std::wstring TextOf(HWND h) {
    DWORD_PTR n = 0;
    SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &n);
    std::wstring s(std::size_t(n) + 1, L'\0');
    SendMessageTimeoutW(h, WM_GETTEXT, s.size(), LPARAM(s.data()), SMTO_ABORTIFHUNG, 2000, &n);
    s.resize(wcsnlen(s.c_str(), s.size()));
    return s;
}

DWORD PidOf(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

struct Filter {
    bool all = false;
    DWORD pid = 0;
    std::wstring cls, title;
    bool Match(HWND h) const {
        const std::wstring c = ClassOf(h);
        if (pid && PidOf(h) != pid)
            return false;
        if (!cls.empty() && c.find(cls) == std::wstring::npos)
            return false;
        if (!title.empty() && TextOf(h).find(title) == std::wstring::npos)
            return false;
        return all || pid || !cls.empty() || !title.empty() || c.rfind(L"Zorvane", 0) == 0;
    }
};

std::vector<HWND> TopLevel(const Filter& f) {
    std::vector<HWND> all, out;
    EnumWindows(
        [](HWND h, LPARAM p) {
            return reinterpret_cast<std::vector<HWND>*>(p)->push_back(h), TRUE;
        },
        LPARAM(&all));
    for (HWND h : all)
        if (f.Match(h))
            out.push_back(h);
    return out;
}

void PrintWindow(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    const bool top = (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(h, rgn);
    RECT box{};
    DWORD rects = 0;
    if (kind != ERROR) {
        GetRgnBox(rgn, &box);
        const DWORD bytes = GetRegionData(rgn, 0, nullptr);
        std::vector<char> data(bytes);
        if (bytes && GetRegionData(rgn, bytes, reinterpret_cast<RGNDATA*>(data.data())))
            rects = reinterpret_cast<RGNDATA*>(data.data())->rdh.nCount;
    }
    DeleteObject(rgn);
    std::printf(
        "%s vis=%d x=%ld y=%ld w=%ld h=%ld top=%d fg=%d rgn=%d box=%ld,%ld,%ld,%ld rects=%lu "
        "pid=%lu hwnd=%p title=%s\n",
        Utf8(ClassOf(h)).c_str(), IsWindowVisible(h) ? 1 : 0, r.left, r.top, r.right - r.left,
        r.bottom - r.top, top ? 1 : 0, GetForegroundWindow() == h ? 1 : 0, kind != ERROR ? 1 : 0,
        box.left, box.top, box.right, box.bottom, rects, PidOf(h), static_cast<void*>(h),
        Utf8(TextOf(h)).c_str());
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM p) {
            return reinterpret_cast<std::vector<HWND>*>(p)->push_back(h), TRUE;
        },
        LPARAM(&out));
    return out;
}

HWND FirstDialog(Filter f) {
    f.cls = L"#32770";
    for (HWND h : TopLevel(f))
        if (IsWindowVisible(h))
            return h;
    return nullptr;
}

int Text(const Filter& f) {
    const HWND dlg = FirstDialog(f);
    if (!dlg)
        return 1;
    for (HWND c : Descendants(dlg)) {
        const std::wstring cls = ClassOf(c);
        if (cls == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            // Where the icon is, so that a screenshot can tell which one it is.
            RECT r{};
            GetWindowRect(c, &r);
            if (IsWindowVisible(c) && SendMessageW(c, STM_GETICON, 0, 0))
                std::printf("[icon] %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                            r.bottom - r.top);
            continue;
        }
        if (cls != L"Static" && cls != L"ComboBox" && cls != L"Edit")
            continue;
        std::wstring t = TextOf(c);
        std::erase(t, L'\r');
        if (!t.empty())
            std::printf("%s\n", Utf8(t).c_str());
    }
    return 0;
}

int SetEdit(const Filter& f, const std::wstring& text) {
    const HWND dlg = FirstDialog(f);
    if (!dlg)
        return 1;
    for (HWND c : Descendants(dlg))
        if (ClassOf(c) == L"Edit" && IsWindowVisible(c)) {
            SendMessageW(c, WM_SETTEXT, 0, LPARAM(text.c_str()));
            return 0;
        }
    return 1;
}

// NIM_MODIFY that changes nothing succeeds only for an icon the tray holds.
int Tray() {
    Filter f;
    f.cls = L"ZorvaneHost";
    for (HWND h : TopLevel(f)) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = h;
        nid.uID = 1;
        if (Shell_NotifyIconW(NIM_MODIFY, &nid))
            return 0;
    }
    return 1;
}

int Alive(DWORD pid) {
    const HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return 1;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(p, &code) && code == STILL_ACTIVE;
    CloseHandle(p);
    return running ? 0 : 1;
}

int Run(std::wstring desktop, DWORD ms, std::wstring cmd) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.lpDesktop = desktop.data();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 2;
    const ULONGLONG start = GetTickCount64();
    const DWORD w = WaitForSingleObject(pi.hProcess, ms);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (w == WAIT_OBJECT_0) {
        std::printf("exit=%lu ms=%llu\n", code, GetTickCount64() - start);
    } else {
        TerminateProcess(pi.hProcess, 1); // a start that should have ended must not linger
        std::printf("timeout\n");
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return w == WAIT_OBJECT_0 ? 0 : 1;
}

void WriteFile(const std::wstring& path, const char* text) {
    if (FILE* f = _wfopen(path.c_str(), L"wb")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

int FakeTray(DWORD ms, const std::wstring& file) {
    static int refused = 0;
    WNDCLASSW wc{};
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_COPYDATA) {
            // The shell's icon calls arrive as WM_COPYDATA, the operation in dwData.
            if (reinterpret_cast<const COPYDATASTRUCT*>(l)->dwData == NIM_ADD)
                ++refused;
            return FALSE;
        }
        return DefWindowProcW(h, m, w, l);
    };
    RegisterClassW(&wc);
    // Topmost, so that a search for the taskbar finds this one before the real one.
    const HWND tray =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0,
                        0, nullptr, nullptr, wc.hInstance, nullptr);
    if (!tray)
        return 2;
    WriteFile(file, "ready\n");
    constexpr UINT_PTR kEnd = 1, kLook = 2;
    SetTimer(tray, kEnd, ms, nullptr);
    SetTimer(tray, kLook, 200, nullptr);
    const std::wstring endFile = file + L".end";
    const auto endAsked = [&] {
        return GetFileAttributesW(endFile.c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && (msg.wParam == kEnd || endAsked()))
            break;
        DispatchMessageW(&msg);
    }
    DestroyWindow(tray);
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const std::string result = "refused=" + std::to_string(refused) + "\n";
    WriteFile(file, result.c_str());
    return 0;
}

// One command; its exit status.
int Dispatch(const std::wstring& desktop, const std::vector<std::wstring>& a) {
    if (a.empty())
        return 2;
    const std::wstring mode = a[0];
    if (mode == L"run" && a.size() == 3)
        return Run(desktop, DWORD(std::wcstoul(a[1].c_str(), nullptr, 10)), a[2]);
    if (mode == L"hold") {
        Sleep(INFINITE);
        return 0;
    }
    if (mode == L"faketray" && a.size() == 3)
        return FakeTray(DWORD(std::wcstoul(a[1].c_str(), nullptr, 10)), a[2]);
    if (mode == L"monitors") {
        std::printf("%d %d %d\n", GetSystemMetrics(SM_CMONITORS),
                    GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN));
        return 0;
    }
    if (mode == L"alive" && a.size() == 2)
        return Alive(DWORD(std::wcstoul(a[1].c_str(), nullptr, 10)));

    // The windows live on the program's desktop; without it there is nothing to see.
    static HDESK current = nullptr;
    if (!current) {
        current = OpenDesktopW(desktop.c_str(), 0, FALSE, GENERIC_ALL);
        if (!current || !SetThreadDesktop(current)) {
            if (current)
                CloseDesktop(current);
            current = nullptr;
            return 1;
        }
    }

    Filter f;
    std::vector<std::wstring> rest;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == L"--all")
            f.all = true;
        else if (a[i] == L"--pid" && i + 1 < a.size())
            f.pid = DWORD(std::wcstoul(a[++i].c_str(), nullptr, 10));
        else if (a[i] == L"--class" && i + 1 < a.size())
            f.cls = a[++i];
        else if (a[i] == L"--title" && i + 1 < a.size())
            f.title = a[++i];
        else
            rest.push_back(a[i]);
    }
    if (mode == L"list") {
        const std::vector<HWND> found = TopLevel(f);
        for (HWND h : found)
            PrintWindow(h);
        return found.empty() ? 1 : 0;
    }
    if (mode == L"text")
        return Text(f);
    if (mode == L"setedit" && rest.size() == 1)
        return SetEdit(f, rest[0]);
    if (mode == L"tray")
        return Tray();
    if (mode == L"close") {
        f.cls = L"ZorvaneHost";
        const std::vector<HWND> hosts = TopLevel(f);
        for (HWND h : hosts)
            PostMessageW(h, WM_CLOSE, 0, 0);
        return hosts.empty() ? 1 : 0;
    }
    return 2;
}

std::wstring Widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

// Commands from stdin, one a line: an id, then the arguments, all separated by tabs.
// After each answer a line of RS (0x1e), the id and the exit status. Starting a Wine
// process per question costs a third of a second; this costs none.
int Serve(const std::wstring& desktop) {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            line.push_back(char(c));
            continue;
        }
        std::vector<std::wstring> a;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            a.push_back(Widen(line.substr(from, tab - from)));
        a.push_back(Widen(line.substr(from)));
        line.clear();
        const std::wstring id = a.front();
        a.erase(a.begin());
        const int rc = Dispatch(desktop, a);
        std::printf("\x1e%s %d\n", Utf8(id).c_str(), rc);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY); // the scripts read lines ending in \n alone
    // Places in device pixels, as the program and the X screen have them, at any dpi.
    SetProcessDPIAware();
    std::vector<std::wstring> a(argv + 1, argv + argc);
    std::wstring desktop = L"E2E";
    if (a.size() >= 2 && a[0] == L"--desktop") {
        desktop = a[1];
        a.erase(a.begin(), a.begin() + 2);
    }
    if (a.size() == 1 && a[0] == L"serve")
        return Serve(desktop);
    const int rc = Dispatch(desktop, a);
    std::fflush(stdout);
    return rc;
}
