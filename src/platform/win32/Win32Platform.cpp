#include "platform/win32/Win32Platform.h"

#include "app/App.h"
#include "app/PictureWindow.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "platform/win32/ClassNames.h"
#include "platform/win32/HostWindow.h"
#include "platform/win32/MenuWindow.h"
#include "platform/win32/Registry.h"
#include "platform/win32/Text.h"
#include "platform/win32/WicLoader.h"
#include "platform/win32/Win32PictureWindow.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace zorvane::win32 {
namespace {

// Where the settings have always been kept, so that an update finds the user's choices.
std::wstring SettingsKey() {
    return L"Software\\VB and VBA Program Settings\\" + Widen(kSettingsApp) + L"\\" +
           Widen(kSettingsSection);
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

PixelRect ToPixelRect(const RECT& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

} // namespace

Win32Platform::Win32Platform()
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

Win32Platform::~Win32Platform() {
    ending_ = true;
    loads_.reset();
    menu_.reset();
    picture_.reset();
    host_.reset();
}

int Win32Platform::Run(PlatformEvents& events) {
    events_ = &events;
    Host();
    events.Started();
    MSG msg{};
    while (!ending_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ending_ = true;
    return 0;
}

HostWindow& Win32Platform::Host() {
    if (!host_)
        host_ = std::make_unique<HostWindow>(*this);
    return *host_;
}

Win32PictureWindow& Win32Platform::Picture() {
    if (!picture_)
        picture_ = std::make_unique<Win32PictureWindow>(*this, FirstWindowBounds(PrimaryScreen()));
    return *picture_;
}

MenuWindow& Win32Platform::Menu() {
    if (!menu_)
        menu_ = std::make_unique<MenuWindow>(*this);
    return *menu_;
}

PlatformWindow& Win32Platform::Window() {
    return Picture();
}

PictureView& Win32Platform::View() {
    return Picture().view();
}

void Win32Platform::SetChecked(Command command, bool checked) {
    Menu().SetChecked(command, checked);
}

void Win32Platform::OpenMenu(PixelPoint at) {
    if (busy_.Busy())
        return;
    const auto busy = busy_.Enter();
    Menu().Popup(at);
}

void Win32Platform::ShowMessage(const std::string& text, MessageKind kind) {
    UINT icon = MB_OK;
    if (kind == MessageKind::Information)
        icon = MB_ICONINFORMATION;
    else if (kind == MessageKind::Critical)
        icon = MB_ICONERROR;
    const auto busy = busy_.Enter();
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(kTitle).c_str(), icon | MB_SETFOREGROUND);
}

std::optional<std::string> Win32Platform::ChoosePicture() {
    const auto busy = busy_.Enter();
    const auto name = pictureDialog_.Show(Menu().hwnd(), Widen(kPictureFilter));
    if (!name)
        return std::nullopt;
    return Narrow(*name);
}

void Win32Platform::StartLoad(std::uint64_t ticket, const std::string& path) {
    loadsTo_ = Host().hwnd();
    inFlight_.insert(ticket);
    if (!loads_->Start(ticket, path)) {
        inFlight_.erase(ticket);
        if (PlatformEvents* events = this->events())
            events->PictureLoaded(ticket, load::Fail(load::kNoMemory));
    }
}

void Win32Platform::LoadEnded(std::uint64_t ticket) {
    std::optional<PictureLoad> load = loads_ ? loads_->Take(ticket) : std::nullopt;
    if (!load)
        return;
    inFlight_.erase(ticket);
    if (PlatformEvents* events = this->events())
        events->PictureLoaded(ticket, std::move(*load));
}

void Win32Platform::StartWork(std::uint64_t ticket, std::function<void()> work) {
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

void Win32Platform::WorkEnded(std::uint64_t ticket) {
    if (!loads_ || !loads_->TakeWork(ticket))
        return;
    if (PlatformEvents* events = this->events())
        events->WorkDone(ticket);
}

std::string Win32Platform::ReadSetting(const std::string& key) {
    const auto text = ReadText(SettingsKey(), Widen(key));
    return text ? Narrow(*text) : std::string();
}

bool Win32Platform::WriteSetting(const std::string& key, const std::string& text) {
    return WriteText(SettingsKey(), Widen(key), Widen(text));
}

bool Win32Platform::AnotherCopyRuns() {
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

bool Win32Platform::CallRunningCopy() {
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

PixelPoint Win32Platform::MousePosition() {
    POINT at{};
    GetCursorPos(&at);
    return {at.x, at.y};
}

Screen Win32Platform::PrimaryScreen() {
    Screen s;
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    s.twipsPerPixelX = twipsPerPixelX_;
    s.twipsPerPixelY = twipsPerPixelY_;
    return s;
}

std::vector<Monitor> Win32Platform::Monitors() {
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<Monitor>*>(data)->push_back(
                    {ToPixelRect(info.rcMonitor), ToPixelRect(info.rcWork)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

NOTIFYICONDATAA ShellTrayRecord(HWND host, HICON icon) {
    NOTIFYICONDATAA nid{};
    // The first version of the record, whose fields are all the icon needs (88 bytes in a
    // 32-bit process).
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = host;
    nid.uID = 1;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayCallbackMessage;
    nid.hIcon = icon;
    // The title in the ANSI code page and the zero that ends it, then blanks to the end of the
    // first version's 64 characters, as the tip has always been handed over.
    constexpr int kTipChars = 64;
    std::memset(nid.szTip, ' ', kTipChars);
    const std::wstring title = Widen(kTitle);
    const int length = WideCharToMultiByte(CP_ACP, 0, title.c_str(), int(title.size()), nid.szTip,
                                           kTipChars - 1, nullptr, nullptr);
    nid.szTip[std::max(length, 0)] = '\0';
    return nid;
}

bool Win32Platform::TellTray(DWORD message) {
    NOTIFYICONDATAA nid = ShellTrayRecord(Host().hwnd(), icon_.get());
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}

// Timers are the host window's; their ids are one past the program's (0 is no id).
void Win32Platform::StartTimer(TimerId id, int milliseconds) {
    ::SetTimer(Host().hwnd(), UINT_PTR(id) + 1, UINT(milliseconds), nullptr);
}

void Win32Platform::StopTimer(TimerId id) {
    ::KillTimer(Host().hwnd(), UINT_PTR(id) + 1);
}

void Win32Platform::Quit() {
    ending_ = true;
    PostQuitMessage(0);
}

} // namespace zorvane::win32
