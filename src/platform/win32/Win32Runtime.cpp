#include "platform/win32/Win32Runtime.h"

#include "host/Module1.h"
#include "picture/LoadMessages.h"
#include "platform/win32/ClassNames.h"
#include "platform/win32/Forms.h"
#include "platform/win32/Registry.h"
#include "platform/win32/Text.h"
#include "platform/win32/WicLoader.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace zorvane::win32 {
namespace {

std::wstring SettingsKey(const std::string& app, const std::string& section) {
    return L"Software\\VB and VBA Program Settings\\" + Widen(app) + L"\\" + Widen(section);
}

// On a loader thread: the decoders need COM there too. An animation's decoder, made here in
// the multithreaded apartment, goes on reading frames on other workers of that apartment
// after this thread has gone, one frame at a time.
PictureLoad LoadOnWorker(const std::string& path) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    PictureLoad load = LoadPictureFile(Widen(path));
    if (SUCCEEDED(com))
        CoUninitialize();
    return load;
}

} // namespace

Win32Runtime::Win32Runtime()
    : loads_(std::make_unique<LoadWorkers>(
          &LoadOnWorker, [this](LoadWorkers::Job job, std::uint64_t ticket) {
              PostMessageW(loadsTo_.load(),
                           job == LoadWorkers::Job::Load ? kLoadEndedMessage : kWorkEndedMessage,
                           WPARAM(ticket), 0);
          })) {
    if (const HDC screen = GetDC(nullptr)) {
        const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpiX > 0)
            twipsPerPixelX_ = 1440.0f / float(dpiX);
        if (dpiY > 0)
            twipsPerPixelY_ = 1440.0f / float(dpiY);
    }
    icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0)));
}

Win32Runtime::~Win32Runtime() {
    ending_ = true;
    loads_.reset();
    menu_.reset();
    disp_.reset();
    host_.reset();
}

int Win32Runtime::Run(Events& events) {
    events_ = &events;
    Host();
    events.TIMESTMP_Form_Load();
    MSG msg{};
    while (!ending_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ending_ = true;
    return 0;
}

void Win32Runtime::HostUnloaded() { End(); }

HostWindow& Win32Runtime::Host() {
    if (!host_)
        host_ = std::make_unique<HostWindow>(*this);
    return *host_;
}
DispWindow& Win32Runtime::Disp() {
    if (!disp_)
        disp_ = std::make_unique<DispWindow>(*this);
    return *disp_;
}
MenuWindow& Win32Runtime::Menu() {
    if (!menu_)
        menu_ = std::make_unique<MenuWindow>(*this);
    return *menu_;
}

Form& Win32Runtime::GetForm(FormName name) {
    switch (name) {
    case FormName::TIMESTMP: return Host();
    case FormName::C_Disp: return Disp();
    case FormName::C_Menu: break;
    }
    return Menu();
}

ShapeControl& Win32Runtime::Vesquin1() { return Disp().Vesquin1(); }

bool Win32Runtime::Checked(MenuItem item) { return Menu().Checked(item); }
void Win32Runtime::SetChecked(MenuItem item, bool checked) { Menu().SetChecked(item, checked); }

void Win32Runtime::TrackPopupMenu(std::int16_t x, std::int16_t y) {
    if (busy_.Busy())
        return;
    const auto busy = busy_.Enter();
    Menu().Popup(x, y);
}

void Win32Runtime::MsgBox(const std::string& text, int style, const std::string& title) {
    const auto busy = busy_.Enter();
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(), UINT(style) | MB_SETFOREGROUND);
}

void Win32Runtime::StartLoad(std::uint64_t ticket, const std::string& path) {
    loadsTo_ = Host().hwnd();
    inFlight_.insert(ticket);
    if (!loads_->Start(ticket, path)) {
        inFlight_.erase(ticket);
        if (Events* events = this->events())
            events->PictureLoaded(ticket, load::Fail(load::kNoMemory));
    }
}

void Win32Runtime::LoadEnded(std::uint64_t ticket) {
    std::optional<PictureLoad> load = loads_ ? loads_->Take(ticket) : std::nullopt;
    if (!load)
        return;
    inFlight_.erase(ticket);
    if (Events* events = this->events())
        events->PictureLoaded(ticket, std::move(*load));
}

void Win32Runtime::StartWork(std::uint64_t ticket, std::function<void()> work) {
    loadsTo_ = Host().hwnd();
    loads_->Run(ticket, [work = std::move(work)]() mutable {
        // The work reads with decoders made in the multithreaded apartment: it joins it, and
        // lets go of what it held before it leaves.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        work();
        work = nullptr;
        if (SUCCEEDED(com))
            CoUninitialize();
    });
}

void Win32Runtime::WorkEnded(std::uint64_t ticket) {
    if (!loads_ || !loads_->TakeWork(ticket))
        return;
    if (Events* events = this->events())
        events->WorkDone(ticket);
}

std::string Win32Runtime::GetSetting(const std::string& app, const std::string& section,
                                     const std::string& key, const std::string& defaultText) {
    const auto text = ReadText(SettingsKey(app, section), Widen(key));
    return text ? Narrow(*text) : defaultText;
}

bool Win32Runtime::SaveSetting(const std::string& app, const std::string& section,
                               const std::string& key, const std::string& text) {
    return WriteText(SettingsKey(app, section), Widen(key), Widen(text));
}

bool Win32Runtime::PrevInstance() {
    if (instanceMutex_)
        return false;
    SetLastError(ERROR_SUCCESS);
    instanceMutex_.reset(CreateMutexW(nullptr, FALSE, (L"Local\\" + Widen(kInstanceName)).c_str()));
    const DWORD error = GetLastError();
    if (instanceMutex_)
        return error == ERROR_ALREADY_EXISTS;
    // ERROR_ACCESS_DENIED: another copy made it under rights we do not have.
    // ERROR_INVALID_HANDLE: something else took the name for another kind of
    // object; that is no copy of this program, so it must not keep us from running.
    return error == ERROR_ACCESS_DENIED;
}

bool Win32Runtime::CallRunningCopy() {
    const UINT call = RegisterWindowMessageW(kStartedAgainMessage);
    const HWND own = host_ ? host_->hwnd() : nullptr;
    HWND other = nullptr;
    do
        other = FindWindowExW(nullptr, other, kHostClass, nullptr);
    while (other && other == own);
    if (!call || !other)
        return false;
    // The user started this copy, so it may hand the foreground on: the running copy's menu
    // can then come in front and close on a click elsewhere.
    DWORD pid = 0;
    GetWindowThreadProcessId(other, &pid);
    AllowSetForegroundWindow(pid);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(other, call, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &answer) &&
           answer == DWORD_PTR(kStartedAgainAnswer);
}

PixelPoint Win32Runtime::MousePosition() {
    POINT at{};
    GetCursorPos(&at);
    return {at.x, at.y};
}

ScreenMetrics Win32Runtime::Screen() {
    ScreenMetrics s;
    s.twipsPerPixelX = twipsPerPixelX_;
    s.twipsPerPixelY = twipsPerPixelY_;
    s.width = float(GetSystemMetrics(SM_CXSCREEN)) * twipsPerPixelX_;
    s.height = float(GetSystemMetrics(SM_CYSCREEN)) * twipsPerPixelY_;
    return s;
}

std::vector<Monitor> Win32Runtime::Monitors() {
    std::vector<MONITORINFO> infos;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<MONITORINFO>*>(data)->push_back(info);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&infos));
    auto toTwips = [this](const RECT& r) {
        return PixelRectToTwips(r.left, r.top, r.right - r.left, r.bottom - r.top,
                                twipsPerPixelX_, twipsPerPixelY_);
    };
    std::vector<Monitor> monitors;
    for (const MONITORINFO& info : infos)
        monitors.push_back({toTwips(info.rcMonitor), toTwips(info.rcWork)});
    return monitors;
}

NOTIFYICONDATAA ShellTrayRecord(HWND host, HICON icon, const TrayIconRecord& record) {
    NOTIFYICONDATAA nid{};
    // The first version of the record: the one whose fields the program fills
    // (88 bytes in a 32-bit process).
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = host;
    nid.uID = record.uID;
    nid.uFlags = record.uFlags;
    nid.uCallbackMessage = record.uCallbackMessage;
    nid.hIcon = icon;
    // The tip is converted to the ANSI code page; the zero after the title ends it.
    const std::wstring tip = Widen(record.szTip);
    char ansi[sizeof nid.szTip] = {};
    WideCharToMultiByte(CP_ACP, 0, tip.c_str(), int(tip.size()), ansi, int(sizeof ansi) - 1,
                        nullptr, nullptr);
    std::memcpy(nid.szTip, ansi, sizeof ansi);
    nid.szTip[sizeof nid.szTip - 1] = '\0';
    return nid;
}

bool Win32Runtime::NotifyIcon(int message, const TrayIconRecord& record) {
    NOTIFYICONDATAA nid = ShellTrayRecord(Host().hwnd(), icon_.get(), record);
    return ::Shell_NotifyIconA(DWORD(message), &nid) != FALSE;
}

// Timers are the host window's; their ids are one past the program's (0 is no id).
void Win32Runtime::SetTimer(TimerId id, int milliseconds) {
    ::SetTimer(Host().hwnd(), UINT_PTR(id) + 1, UINT(milliseconds), nullptr);
}

void Win32Runtime::KillTimer(TimerId id) { ::KillTimer(Host().hwnd(), UINT_PTR(id) + 1); }

std::optional<std::string> Win32Runtime::ShowOpen(const std::string& filter) {
    const auto busy = busy_.Enter();
    const auto name = dlg1_.Show(Menu().hwnd(), Widen(filter));
    if (!name)
        return std::nullopt;
    return Narrow(*name);
}

void Win32Runtime::End() {
    ending_ = true;
    PostQuitMessage(0);
}

} // namespace zorvane::win32
