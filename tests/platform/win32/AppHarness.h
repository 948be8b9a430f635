#pragma once

// The whole program on the real Win32 platform, with the two calls that wait for
// a person (message boxes and the Open dialog) answered by the test instead.

#include "app/App.h"
#include "platform/win32/Handles.h"
#include "platform/win32/MenuWindow.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32PictureWindow.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::win32::harness {

inline constexpr wchar_t kSettingsKey[] = L"Software\\VB and VBA Program Settings\\Kelvra\\Kelvra";

struct Box {
    std::string text;
    MessageKind kind = MessageKind::Plain;
};

// Handles messages already queued (paints, region changes) without waiting for more. False
// once a WM_QUIT came, which is posted again for the loop it was meant for.
inline bool Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

// Bytes in use in every heap of the process: what a leak of our own or of a
// decoder would grow, even where the system's counters read zero (Wine).
inline std::size_t HeapInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(DWORD(heaps.size()), heaps.data()));
    std::size_t total = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heap);
    }
    return total;
}

// Handles messages as they come until `done` (or a minute has passed, past any load's limit).
inline void PumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        if (!Pump())
            return;
    }
}

// Forwards everything to the real platform except ShowMessage (recorded) and ChoosePicture
// (answered from a queue).
class InterceptingPlatform final : public Platform {
  public:
    explicit InterceptingPlatform(Win32Platform& real) : real_(real) {}

    PlatformWindow& Window() override { return real_.Window(); }
    PictureView& View() override { return real_.View(); }
    void SetChecked(Command command, bool on) override { real_.SetChecked(command, on); }
    void OpenMenu(PixelPoint at) override { real_.OpenMenu(at); }
    void ShowMessage(const std::string& text, MessageKind kind) override {
        ++boxCount;
        if (keepBoxes)
            boxes.push_back({text, kind});
    }
    std::optional<std::string> ChoosePicture() override {
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    // The load runs on its worker as in the program; unless the test lets it run on, the
    // messages are handled here until it has ended, so a scenario reads on as if it were
    // immediate.
    void StartLoad(std::uint64_t ticket, const std::string& path) override {
        real_.StartLoad(ticket, path);
        if (waitForLoads)
            PumpUntil([&] { return !real_.Loading(ticket); });
    }
    void StartWork(std::uint64_t ticket, std::function<void()> work) override {
        real_.StartWork(ticket, std::move(work));
    }
    std::string ReadSetting(const std::string& key) override { return real_.ReadSetting(key); }
    bool WriteSetting(const std::string& key, const std::string& text) override {
        return real_.WriteSetting(key, text);
    }
    bool AnotherCopyRuns() override { return real_.AnotherCopyRuns(); }
    bool CallRunningCopy() override { return real_.CallRunningCopy(); }
    Screen PrimaryScreen() override { return real_.PrimaryScreen(); }
    std::vector<Monitor> Monitors() override { return real_.Monitors(); }
    PixelPoint MousePosition() override { return real_.MousePosition(); }
    bool AddTrayIcon() override { return real_.AddTrayIcon(); }
    bool ModifyTrayIcon() override { return real_.ModifyTrayIcon(); }
    bool RemoveTrayIcon() override { return real_.RemoveTrayIcon(); }
    bool TrayHostPresent() override { return real_.TrayHostPresent(); }
    bool Notify(const std::string& text) override { return real_.Notify(text); }
    void StartTimer(TimerId id, int ms) override { real_.StartTimer(id, ms); }
    void StopTimer(TimerId id) override { real_.StopTimer(id); }
    void Quit() override { real_.Quit(); }

    std::vector<Box> boxes;
    long boxCount = 0;
    bool keepBoxes = true;
    bool waitForLoads = true;
    std::deque<std::optional<std::string>> answers;

  private:
    Win32Platform& real_;
};

// A message left from an earlier run (a quit, above all) must not end the next
// platform's loop or close a message box at once.
inline void DrainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
}

// The platform's events go to the program; after its startup the scenario runs inside the
// platform's own Run (so window messages reach the program), then the program ends.
class ScenarioEvents final : public PlatformEvents {
  public:
    ScenarioEvents(App& app, Win32Platform& platform, std::function<void()> scenario)
        : app_(app), platform_(platform), scenario_(std::move(scenario)) {}
    void Started() override {
        app_.Started();
        stillRunning = platform_.events() != nullptr;
        if (scenario_)
            scenario_();
        platform_.Quit();
    }
    void Ending() override { app_.Ending(); }
    void TrayIconClicked(MouseButton button) override { app_.TrayIconClicked(button); }
    void TrayRestarted() override { app_.TrayRestarted(); }
    void StartedAgain() override { app_.StartedAgain(); }
    void Timer(TimerId id) override { app_.Timer(id); }
    bool PictureWindowClosing(CloseReason reason) override {
        return app_.PictureWindowClosing(reason);
    }
    void PictureClicked(MouseButton button, PixelPoint at) override {
        app_.PictureClicked(button, at);
    }
    void CommandChosen(Command command) override { app_.CommandChosen(command); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        app_.PictureLoaded(ticket, std::move(load));
    }
    void WorkDone(std::uint64_t ticket) override { app_.WorkDone(ticket); }

    bool stillRunning = false; // the program had not ended itself after startup

  private:
    App& app_;
    Win32Platform& platform_;
    std::function<void()> scenario_;
};

// One run of the program: the real platform, its message boxes and dialog intercepted.
struct AppRun {
    Win32Platform real;
    InterceptingPlatform platform{real};
    App app{platform};

    // Runs startup, then scenario; returns whether the program was still running after startup.
    bool Run(std::function<void()> scenario = {}) {
        DrainMessages();
        ScenarioEvents events(app, real, std::move(scenario));
        real.Run(events);
        DrainMessages();
        return events.stillRunning;
    }

    // A click on a command of the tray menu, delivered as the menu window gets it.
    void Click(Command command) {
        SendMessageW(real.Menu().hwnd(), WM_COMMAND, WPARAM(CommandId(command)), 0);
    }
    // Whether the command menu shows the command checked.
    bool CheckMark(Command command) {
        const UINT state = GetMenuState(real.Menu().menu(), CommandId(command), MF_BYCOMMAND);
        return state != UINT(-1) && (state & MF_CHECKED);
    }
    const Picture* Shown() { return real.Picture().view().picture(); }
    HWND PictureHwnd() { return real.Picture().hwnd(); }
    RECT PictureRect() {
        RECT r{};
        GetWindowRect(PictureHwnd(), &r);
        return r;
    }
};

// ---- the settings key

struct RegValue {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// The values of HKCU\<key>, in order; nothing when the key is absent.
inline std::optional<std::vector<RegValue>> ReadKey(const wchar_t* key = kSettingsKey) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    UniqueHkey k(raw);
    std::vector<RegValue> values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLen = 16384, type = 0, bytes = 0;
        if (RegEnumValueW(k.get(), i, name, &nameLen, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS)
            break;
        RegValue v{std::wstring(name, nameLen), type, std::vector<BYTE>(bytes)};
        nameLen = 16384;
        if (RegEnumValueW(k.get(), i, name, &nameLen, nullptr, &type, v.data.data(), &bytes) !=
            ERROR_SUCCESS)
            break;
        v.data.resize(bytes);
        values.push_back(std::move(v));
    }
    return values;
}

inline void WriteKey(const std::optional<std::vector<RegValue>>& values,
                     const wchar_t* key = kSettingsKey) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    if (!values)
        return;
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return;
    UniqueHkey k(raw);
    for (const RegValue& v : *values)
        RegSetValueExW(k.get(), v.name.c_str(), 0, v.type, v.data.data(), DWORD(v.data.size()));
}

inline RegValue Text(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return {name, type, std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t))};
}

// The settings key as the test found it comes back at the end, whatever the test wrote.
class SettingsGuard {
  public:
    SettingsGuard() : saved_(ReadKey()) {}
    ~SettingsGuard() { WriteKey(saved_); }
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;

  private:
    std::optional<std::vector<RegValue>> saved_;
};

// ---- counts

struct LiveCounts {
    long windows, regions, icons, menus, keys, handles;
    friend bool operator==(const LiveCounts&, const LiveCounts&) = default;
};

inline LiveCounts Live() {
    return {UniqueHwnd::live(),  UniqueHrgn::live(), UniqueHicon::live(),
            UniqueHmenu::live(), UniqueHkey::live(), UniqueHandleObj::live()};
}

inline std::string Describe(const LiveCounts& c) {
    return "HWND " + std::to_string(c.windows) + ", HRGN " + std::to_string(c.regions) +
           ", HICON " + std::to_string(c.icons) + ", HMENU " + std::to_string(c.menus) + ", HKEY " +
           std::to_string(c.keys) + ", HANDLE " + std::to_string(c.handles);
}

// ---- files

// The folder named by an environment variable, as a Windows path (a Unix path,
// as a Linux runner script sets it, is reached through Wine's Z: drive).
inline std::wstring FolderFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return {};
    std::wstring path = Widen(value);
    if (path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

inline bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    UniqueHandleObj file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        (void)file.release();
        return false;
    }
    DWORD done = 0;
    return bytes.empty() ||
           (WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &done, nullptr) &&
            done == bytes.size());
}

// A w x h 24-bit bitmap of one colour.
inline std::vector<std::uint8_t> SolidBmp(int w, int h, std::uint32_t rgb) {
    const int stride = (w * 3 + 3) / 4 * 4;
    const std::uint32_t fileSize = 54 + std::uint32_t(stride * h);
    std::vector<std::uint8_t> b(fileSize, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, fileSize, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(w), 4);
    put(22, std::uint32_t(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(54 + std::size_t(y) * stride + std::size_t(x) * 3, rgb, 3);
    return b;
}

// A scratch folder under %TEMP%, removed with what the test put in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp) + L"zorvane-hostile-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            if (!DeleteFileW(it->c_str()))
                RemoveDirectoryW(it->c_str());
        RemoveDirectoryW(path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring File(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
        const std::wstring p = path_ + L"\\" + name;
        WriteFileBytes(p, bytes);
        made_.push_back(p);
        return p;
    }
    std::wstring Folder(const std::wstring& name) {
        const std::wstring p = path_ + L"\\" + name;
        CreateDirectoryW(p.c_str(), nullptr);
        made_.push_back(p);
        return p;
    }
    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
    std::vector<std::wstring> made_;
};

} // namespace zorvane::win32::harness
