// Bad saved settings and a squatted single-instance name, through the whole
// program on the real platform. The settings key is fixed, so each case writes
// it and the guard puts back what the test prefix had.

#include "AppHarness.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>

namespace zorvane::win32 {
namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

RegValue Raw(const wchar_t* name, DWORD type, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const BYTE*>(data);
    return {name, type, std::vector<BYTE>(p, p + bytes)};
}
RegValue Dword(const wchar_t* name, DWORD v) {
    return Raw(name, REG_DWORD, &v, sizeof v);
}
// Text in a value of another type (no terminator for BINARY, two for MULTI_SZ).
RegValue Typed(const wchar_t* name, DWORD type, const std::wstring& text) {
    std::wstring data = text;
    if (type == REG_MULTI_SZ)
        data.push_back(L'\0');
    const std::size_t chars = data.size() + (type == REG_BINARY ? 0 : 1);
    return Raw(name, type, data.c_str(), chars * sizeof(wchar_t));
}

// Where the picture window stands before a picture moves it, at 96 dpi.
constexpr LONG kFirstLeft = 139, kFirstTop = 78;

struct Outcome {
    bool shown = true;
    int boxes = 0;
    std::string boxMentions;        // besides the path, when a box is expected
    std::optional<LONG> left = 100; // pixels; nothing: not checked
    std::optional<LONG> top = 80;
    bool transparent = false;
    bool topmost = true;
    bool inWorkArea = false; // the whole window inside one monitor's work area
};

bool InsideSomeWorkArea(const RECT& r) {
    struct Search {
        RECT window;
        bool found = false;
    } search{r};
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR m, HDC, LPRECT, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(m, &info) && s->window.left >= info.rcWork.left &&
                s->window.top >= info.rcWork.top && s->window.right <= info.rcWork.right &&
                s->window.bottom <= info.rcWork.bottom)
                s->found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct BadSettings : ::testing::Test {
    void SetUp() override {
        com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        good = folder.File(L"good.bmp", SolidBmp(16, 12, 0xC02020));
        dir = folder.Folder(L"folder.bmp");
    }
    void TearDown() override {
        if (com)
            CoUninitialize();
    }

    // The usual settings with one value replaced (or removed, for an empty name).
    std::vector<RegValue> Settings(const RegValue& replacement) const {
        std::vector<RegValue> values{Text(L"Save", good), Text(L"Left", L"1500"),
                                     Text(L"Top", L"1200"), Text(L"Scale", L"False"),
                                     Text(L"Always", L"1")};
        for (RegValue& v : values)
            if (v.name == replacement.name)
                v = replacement;
        return values;
    }

    // What the user sees when the named value reads as absent.
    static Outcome Absent(const std::wstring& name) {
        Outcome o;
        if (name == L"Save") {
            o.shown = false;
            o.left = o.top = std::nullopt;
        }
        if (name == L"Left")
            o.left = kFirstLeft;
        if (name == L"Top")
            o.top = kFirstTop;
        if (name == L"Scale")
            o.transparent = true;
        if (name == L"Always")
            o.topmost = false;
        return o;
    }

    void Check(const std::string& label, const RegValue& value, const Outcome& want) {
        SCOPED_TRACE(label);
        SettingsGuard guard;
        WriteKey(Settings(value));
        const auto before = ReadKey();
        AppRun run;
        bool shown = false, topmost = false, transparent = false;
        RECT rect{};
        const auto start = Clock::now();
        const bool running = run.Run([&] {
            shown = IsWindowVisible(run.PictureHwnd()) != FALSE;
            topmost = (GetWindowLongW(run.PictureHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            transparent = run.CheckMark(Command::Transparent);
            rect = run.PictureRect();
        });
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(20)) << label;
        EXPECT_TRUE(running) << label << ": the program ended at startup";
        EXPECT_EQ(ReadKey(), before) << label << ": startup changed the settings";
        EXPECT_EQ(shown, want.shown) << label;
        EXPECT_EQ(run.platform.boxCount, want.boxes) << label;
        if (want.boxes == 1 && !run.platform.boxes.empty()) {
            const std::string& text = run.platform.boxes[0].text;
            EXPECT_NE(text.find(run.app.state().picturePath), std::string::npos) << label;
            EXPECT_NE(text.find(want.boxMentions), std::string::npos) << label << ": " << text;
        }
        EXPECT_EQ(topmost, want.topmost) << label;
        EXPECT_EQ(transparent, want.transparent) << label;
        if (want.left) {
            EXPECT_EQ(rect.left, *want.left) << label;
        }
        if (want.top) {
            EXPECT_EQ(rect.top, *want.top) << label;
        }
        if (want.inWorkArea) {
            EXPECT_TRUE(InsideSomeWorkArea(rect))
                << label << ": window at " << rect.left << "," << rect.top;
        }
    }

    ScratchFolder folder;
    std::wstring good, dir;
    bool com = false;
};

TEST_F(BadSettings, ValuesOfAnotherRegistryTypeReadAsAbsent) {
    // Each value, if it were read, would give a different picture than absent.
    const struct {
        const wchar_t* name;
        std::wstring text;
    } values[] = {
        {L"Save", good},      {L"Left", L"4500"}, {L"Top", L"4500"},
        {L"Scale", L"False"}, {L"Always", L"1"},
    };
    const struct {
        const char* label;
        DWORD type;
    } types[] = {{"REG_BINARY", REG_BINARY},
                 {"REG_MULTI_SZ", REG_MULTI_SZ},
                 {"REG_EXPAND_SZ", REG_EXPAND_SZ}};
    for (const auto& v : values) {
        const std::string name = Narrow(v.name);
        Check(name + " as REG_DWORD", Dword(v.name, 4500), Absent(v.name));
        for (const auto& t : types)
            Check(name + " as " + t.label, Typed(v.name, t.type, v.text), Absent(v.name));
    }
}

TEST_F(BadSettings, PositionsThatAreNoFiniteSingleAreIgnored) {
    const std::wstring longNumber(10000, L'1');
    const wchar_t* ignored[] = {L"nan",  L"inf", L"-inf", L"1e308", L"-1e308", L"1e39",
                                L"0x10", L"abc", L"",     L"12 34", L"--5"};
    for (const wchar_t* name : {L"Left", L"Top"}) {
        const std::string n = Narrow(name);
        const Outcome ignoredOutcome = Absent(name);
        for (const wchar_t* text : ignored)
            Check(n + "=\"" + Narrow(text) + "\"", Text(name, text), ignoredOutcome);
        Check(n + " of 10,000 digits", Text(name, longNumber), ignoredOutcome);
    }
    // Readable numbers, blanks around them included.
    Outcome twelve;
    twelve.left = 1; // 12 saved, 15 to the pixel: the nearest pixel
    Check("Left=\" 12\"", Text(L"Left", L" 12"), twelve);
    Outcome blanks;
    blanks.top = 300;
    Check("Top=\"  4500  \"", Text(L"Top", L"  4500  "), blanks);
    Outcome comma;
    comma.left = 82; // 1234.5 saved
    Check("Left=\"1234,5\"", Text(L"Left", L"1234,5"), comma);
}

TEST_F(BadSettings, PlacesOffEveryMonitorComeBackIntoAWorkArea) {
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } cases[] = {{L"Left", L"99999999"}, {L"Left", L"-99999999"}, {L"Top", L"99999999"},
                 {L"Top", L"-99999999"}, {L"Left", L"3.4e38"},    {L"Left", L"-3.4e38"},
                 {L"Top", L"1e30"},      {L"Top", L"-1e30"},      {L"Left", L"450000"}};
    for (const auto& c : cases) {
        Outcome o;
        o.left = o.top = std::nullopt;
        o.inWorkArea = true;
        Check(Narrow(c.name) + "=" + Narrow(c.text), Text(c.name, c.text), o);
    }
}

TEST_F(BadSettings, LongAndOddTextInEveryValue) {
    const std::wstring longText(10000, L'x');
    Outcome refused;
    refused.shown = false;
    refused.boxes = 1;
    refused.left = refused.top = std::nullopt;
    Check("Save of 10,000 characters", Text(L"Save", L"C:\\" + longText + L".bmp"), refused);
    Check("Scale of 10,000 characters", Text(L"Scale", longText), Absent(L"Scale"));
    Check("Always of 10,000 characters", Text(L"Always", longText), Absent(L"Always"));

    // A REG_SZ without its terminator, with text after a zero, or of odd length.
    Outcome at300;
    at300.left = 300;
    const std::wstring unterminated = L"4500";
    Check("Left without terminator",
          Raw(L"Left", REG_SZ, unterminated.c_str(), unterminated.size() * sizeof(wchar_t)), at300);
    const wchar_t embedded[] = L"4500\0junk";
    Check("Left with text after a zero", Raw(L"Left", REG_SZ, embedded, sizeof embedded), at300);
    const char oddBytes[] = "4\0"
                            "5\0"
                            "0\0"
                            "0\0"
                            "\x01";
    Check("Left of odd length", Raw(L"Left", REG_SZ, oddBytes, 9), at300);
}

TEST_F(BadSettings, SaveNamingAFolderOrADevice) {
    Outcome folderOutcome;
    folderOutcome.shown = false;
    folderOutcome.boxes = 1;
    folderOutcome.boxMentions = "フォルダー";
    folderOutcome.left = folderOutcome.top = std::nullopt;
    Check("Save names a folder", Text(L"Save", dir), folderOutcome);

    Outcome device = folderOutcome;
    device.boxMentions = "";
    for (const wchar_t* path : {L"\\\\.\\NUL", L"NUL", L"CON", L"COM1", L"\\\\.\\PIPE\\nothing"})
        Check("Save=" + Narrow(path), Text(L"Save", path), device);

    Outcome none = Absent(L"Save");
    Check("Save of blanks", Text(L"Save", L"   "), none);
    Check("Save empty", Text(L"Save", L""), none);
}

// Another kind of object squatting on the single-instance name: CreateMutexW then
// fails with ERROR_INVALID_HANDLE, and the program must neither hang nor refuse to run.
TEST(SingleInstanceSquat, AnotherKindOfObjectUnderTheNameLetsTheProgramRun) {
    const wchar_t* name = L"Local\\Zorvane.Ver1.1.SingleInstance";
    const struct {
        const char* kind;
        HANDLE (*make)(const wchar_t*);
    } squatters[] = {
        {"event", [](const wchar_t* n) { return CreateEventW(nullptr, TRUE, FALSE, n); }},
        {"semaphore", [](const wchar_t* n) { return CreateSemaphoreW(nullptr, 0, 1, n); }},
        {"waitable timer", [](const wchar_t* n) { return CreateWaitableTimerW(nullptr, TRUE, n); }},
        {"file mapping",
         [](const wchar_t* n) {
             return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, n);
         }},
    };
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    SettingsGuard guard;
    WriteKey(std::nullopt);
    for (const auto& s : squatters) {
        SCOPED_TRACE(s.kind);
        UniqueHandleObj squat(s.make(name));
        ASSERT_TRUE(squat) << "could not make the " << s.kind;

        SetLastError(0);
        const HANDLE probe = CreateMutexW(nullptr, FALSE, name);
        const DWORD error = GetLastError();
        EXPECT_EQ(probe, nullptr);
        if (probe)
            CloseHandle(probe);

        Win32Platform first, second;
        const auto start = Clock::now();
        const bool firstSeesAnother = first.AnotherCopyRuns();
        const bool secondSeesAnother = second.AnotherCopyRuns();
        const auto took = Clock::now() - start;
        EXPECT_FALSE(firstSeesAnother);
        EXPECT_FALSE(secondSeesAnother) << "a squatted name cannot tell copies apart, so both run";
        EXPECT_LT(took, std::chrono::seconds(2));
        std::printf(
            "[ squat    ] %-14s CreateMutexW error %lu; another copy runs: %s, %s; %.1f ms\n",
            s.kind, error, firstSeesAnother ? "true" : "false",
            secondSeesAnother ? "true" : "false",
            std::chrono::duration<double, std::milli>(took).count());

        AppRun run;
        EXPECT_TRUE(run.Run()) << "startup must go on as a first copy";
    }
    // Without a squatter the name works as meant: a mutex held elsewhere stops a second copy.
    {
        UniqueHandleObj other(CreateMutexW(nullptr, FALSE, name));
        ASSERT_TRUE(other);
        AppRun run;
        EXPECT_FALSE(run.Run()) << "a second copy must end at startup";
        EXPECT_EQ(run.platform.boxCount, 0);
    }
    if (com)
        CoUninitialize();
}

} // namespace
} // namespace zorvane::win32
