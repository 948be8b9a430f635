#pragma once

// The whole program on the real Win32 runtime, with the two calls that wait for
// a person (message boxes and the Open dialog) answered by the test instead.

#include "host/Program.h"
#include "platform/win32/Forms.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Runtime.h"

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
    int style = 0;
    std::string title;
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

// Forwards everything to the real runtime except MsgBox (recorded) and ShowOpen
// (answered from a queue).
class InterceptingRuntime final : public Runtime {
  public:
    explicit InterceptingRuntime(Win32Runtime& real) : real_(real) {}

    Form& GetForm(FormName name) override { return real_.GetForm(name); }
    ShapeControl& Vesquin1() override { return real_.Vesquin1(); }
    bool Checked(MenuItem item) override { return real_.Checked(item); }
    void SetChecked(MenuItem item, bool on) override { real_.SetChecked(item, on); }
    void TrackPopupMenu(std::int16_t x, std::int16_t y) override { real_.TrackPopupMenu(x, y); }
    void MsgBox(const std::string& text, int style, const std::string& title) override {
        ++boxCount;
        if (keepBoxes)
            boxes.push_back({text, style, title});
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
    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& def) override {
        return real_.GetSetting(app, section, key, def);
    }
    bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override {
        return real_.SaveSetting(app, section, key, text);
    }
    bool PrevInstance() override { return real_.PrevInstance(); }
    bool CallRunningCopy() override { return real_.CallRunningCopy(); }
    ScreenMetrics Screen() override { return real_.Screen(); }
    std::vector<Monitor> Monitors() override { return real_.Monitors(); }
    bool NotifyIcon(int message, const TrayIconRecord& record) override {
        return real_.NotifyIcon(message, record);
    }
    bool TrayHostPresent() override { return real_.TrayHostPresent(); }
    bool Notify(const std::string& title, const std::string& text) override {
        return real_.Notify(title, text);
    }
    PixelPoint MousePosition() override { return real_.MousePosition(); }
    void SetTimer(TimerId id, int ms) override { real_.SetTimer(id, ms); }
    void KillTimer(TimerId id) override { real_.KillTimer(id); }
    std::optional<std::string> ShowOpen(const std::string&) override {
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void End() override { real_.End(); }

    std::vector<Box> boxes;
    long boxCount = 0;
    bool keepBoxes = true;
    bool waitForLoads = true;
    std::deque<std::optional<std::string>> answers;

  private:
    Win32Runtime& real_;
};

// A message left from an earlier run (a quit, above all) must not end the next
// runtime's loop or close a message box at once.
inline void DrainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
}

// Events go to the program; after its startup the scenario runs inside the
// runtime's own Run (so window messages reach the program), then the program ends.
class ScenarioEvents final : public Events {
  public:
    ScenarioEvents(Program& p, Win32Runtime& rt, std::function<void()> scenario)
        : p_(p), rt_(rt), scenario_(std::move(scenario)) {}
    void TIMESTMP_Form_Load() override {
        p_.TIMESTMP_Form_Load();
        stillRunning = rt_.events() != nullptr;
        if (scenario_)
            scenario_();
        rt_.End();
    }
    void TIMESTMP_Form_MouseMove(int b, int s, float x, float y) override {
        p_.TIMESTMP_Form_MouseMove(b, s, x, y);
    }
    void TIMESTMP_Form_Terminate() override { p_.TIMESTMP_Form_Terminate(); }
    void TIMESTMP_TaskbarCreated() override { p_.TIMESTMP_TaskbarCreated(); }
    void TIMESTMP_StartedAgain() override { p_.TIMESTMP_StartedAgain(); }
    void Timer(TimerId id) override { p_.Timer(id); }
    bool C_Disp_Form_QueryUnload(int mode) override { return p_.C_Disp_Form_QueryUnload(mode); }
    void C_Disp_Vesquin1_MouseEvent(int b, int s, float x, float y) override {
        p_.C_Disp_Vesquin1_MouseEvent(b, s, x, y);
    }
    void C_Menu_Click(MenuItem item) override { p_.C_Menu_Click(item); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        p_.PictureLoaded(ticket, std::move(load));
    }
    void WorkDone(std::uint64_t ticket) override { p_.WorkDone(ticket); }

    bool stillRunning = false; // the program had not ended itself after startup

  private:
    Program& p_;
    Win32Runtime& rt_;
    std::function<void()> scenario_;
};

// One program run: real runtime, intercepted boxes and dialog.
struct ProgramRun {
    Win32Runtime real;
    InterceptingRuntime rt{real};
    Program program{rt};

    // Runs startup, then scenario; returns whether the program was still running after startup.
    bool Run(std::function<void()> scenario = {}) {
        DrainMessages();
        ScenarioEvents events(program, real, std::move(scenario));
        real.Run(events);
        DrainMessages();
        return events.stillRunning;
    }

    // A click on a command of the tray menu, delivered as the menu window gets it.
    void Click(MenuItem item) {
        SendMessageW(real.Menu().hwnd(), WM_COMMAND, WPARAM(CommandId(item)), 0);
    }
    const Picture* Shown() { return real.Disp().Vesquin1().picture(); }
    HWND Disp() { return real.Disp().hwnd(); }
    RECT DispRect() {
        RECT r{};
        GetWindowRect(Disp(), &r);
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
           ", HICON " + std::to_string(c.icons) + ", HMENU " + std::to_string(c.menus) +
           ", HKEY " + std::to_string(c.keys) + ", HANDLE " + std::to_string(c.handles);
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
