// Damaged and hostile pictures through the real loader and the whole program.
// The pictures come from tools/make_hostile.py; tests/hostile/run.sh writes them
// and sets ZORVANE_HOSTILE_DIR. Without it these tests skip.

#include "AppHarness.h"
#include "app/CommandMenu.h"
#include "app/LoadWorkers.h"
#include "platform/win32/WicLoader.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>

namespace zorvane::win32 {
namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// The loader gives up after 15 s of its own; a load still running at this point hangs.
constexpr DWORD kHangMs = 40'000;
// Loads slower than this go through the loader and one program path only.
constexpr double kSlowMs = 3'000;

struct Input {
    std::string category, expect, name, reason;
    std::wstring path; // Windows path
    std::string utf8;  // as the program holds it
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Timed {
    bool finished = false;
    PictureLoad load;
    bool animated = false; // it had frames (those are not kept here)
    double ms = 0;
};

// A load on its own thread, so a hang fails the test instead of stopping the run.
Timed BoundedLoad(const std::wstring& path) {
    struct Job {
        std::wstring path;
        PictureLoad result;
        bool animated;
    };
    auto* job = new Job{path, {}, false};
    const auto start = Clock::now();
    const HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* j = static_cast<Job*>(p);
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            j->result = LoadPictureFile(j->path);
            // Its frames are read from the file as they are shown; here only the first counts.
            j->animated = j->result.animation != nullptr;
            j->result.animation.reset();
            if (SUCCEEDED(com))
                CoUninitialize();
            return 0;
        },
        job, 0, nullptr);
    if (!thread) {
        delete job;
        return {};
    }
    const DWORD wait = WaitForSingleObject(thread, kHangMs);
    CloseHandle(thread);
    Timed t;
    t.ms = Ms(Clock::now() - start);
    if (wait != WAIT_OBJECT_0)
        return t; // the thread still owns the job
    t.finished = true;
    t.load = std::move(job->result);
    t.animated = job->animated;
    delete job;
    return t;
}

std::string ReadAll(const std::wstring& path) {
    UniqueHandleObj file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        (void)file.release();
        return {};
    }
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

std::vector<Input>& Manifest() {
    static std::vector<Input> inputs;
    return inputs;
}

std::wstring& Root() {
    static std::wstring root;
    return root;
}

class HostileInput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Root() = FolderFromEnvironment("ZORVANE_HOSTILE_DIR");
        Manifest().clear();
        if (Root().empty())
            return;
        std::istringstream in(ReadAll(Root() + L"\\manifest.tsv"));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::istringstream fields(line);
            Input i;
            std::string rel;
            std::getline(fields, i.category, '\t');
            std::getline(fields, i.expect, '\t');
            std::getline(fields, rel, '\t');
            std::getline(fields, i.reason, '\t');
            i.name = rel;
            std::replace(rel.begin(), rel.end(), '/', '\\');
            i.path = Root() + L"\\" + Widen(rel);
            i.utf8 = Narrow(i.path);
            Manifest().push_back(std::move(i));
        }
    }

    void SetUp() override {
        if (Root().empty())
            GTEST_SKIP() << "ZORVANE_HOSTILE_DIR is not set: run tests/hostile/run.sh, which "
                            "writes the pictures (tools/make_hostile.py) and sets it";
        ASSERT_FALSE(Manifest().empty()) << "no manifest.tsv in " << Narrow(Root());
        com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    void TearDown() override {
        if (com_)
            CoUninitialize();
    }

    static std::vector<Input> Category(const std::string& name) {
        std::vector<Input> out;
        for (const Input& i : Manifest())
            if (i.category == name)
                out.push_back(i);
        return out;
    }
    static const Input* Find(const std::string& name) {
        for (const Input& i : Manifest())
            if (i.name == name)
                return &i;
        return nullptr;
    }

    // Every input through the loader, the change-picture command and startup.
    void Walk(const std::vector<Input>& inputs) {
        ASSERT_FALSE(inputs.empty());
        const Input* good = Find("valid/good.bmp");
        ASSERT_TRUE(good) << "the manifest has no valid/good.bmp";

        std::map<std::string, Timed> loads;
        std::string slowest;
        for (const Input& in : inputs) {
            const LiveCounts before = Live();
            const std::size_t heapBefore = HeapInUse();
            Timed t = BoundedLoad(in.path);
            CheckLoad(in, t);
            if (t.finished) {
                EXPECT_EQ(Live(), before) << in.name << ": the load kept a handle";
                // A refused file keeps no memory: a decoder handed a header that lies
                // can reserve gigabytes for it and never give them back.
                if (!t.load.picture) {
                    EXPECT_LT(HeapInUse(), heapBefore + (16u << 20))
                        << in.name << ": the load kept memory";
                }
            }
            if (slowest.empty() || t.ms > loads[slowest].ms)
                slowest = in.name;
            loads[in.name] = std::move(t);
        }
        std::size_t shown = 0;
        for (const auto& [name, t] : loads)
            shown += t.load.picture ? 1 : 0;
        std::printf("[ hostile  ] %-12s %3zu inputs: %zu shown, %zu refused; slowest load %.0f ms "
                    "(%s: %s)\n",
                    inputs.front().category.c_str(), inputs.size(), shown, inputs.size() - shown,
                    loads[slowest].ms, slowest.c_str(),
                    loads[slowest].load.picture ? "shown" : loads[slowest].load.error.c_str());

        ChangeToEach(*good, inputs, loads);
        for (const Input& in : inputs) {
            const Timed& t = loads[in.name];
            if (t.finished && t.ms < kSlowMs)
                StartWith(in, t);
        }
    }

    static void CheckLoad(const Input& in, const Timed& t) {
        ASSERT_TRUE(t.finished) << in.name << ": no answer from the loader in " << kHangMs / 1000
                                << " s";
        const PictureLoad& r = t.load;
        EXPECT_EQ(r.picture == nullptr, !r.error.empty()) << in.name << ": " << r.error;
        if (r.picture) {
            EXPECT_TRUE(PictureSizeAllowed(std::uint64_t(r.picture->width),
                                           std::uint64_t(r.picture->height)))
                << in.name;
            EXPECT_EQ(r.picture->pixels.size(),
                      std::size_t(r.picture->width) * std::size_t(r.picture->height))
                << in.name;
        }
        if (in.expect == "refuse") {
            EXPECT_FALSE(r.picture)
                << in.name << " was shown as " << r.picture->width << "x" << r.picture->height;
        }
        if (in.expect == "show") {
            EXPECT_TRUE(r.picture) << in.name << " was refused: " << r.error;
        }
        if (!r.picture && !in.reason.empty()) {
            EXPECT_NE(r.error.find(in.reason), std::string::npos)
                << in.name << ": the reason should say " << in.reason << ", says " << r.error;
        }
        // The loader is checked against 15 s of its own, plus a margin for a slow machine.
        EXPECT_LT(t.ms, 20'000) << in.name;
    }

    // The message box for a refused file: one, critical, naming the file and why.
    static void CheckBox(const Input& in, const Box& box, const std::string& error) {
        EXPECT_EQ(box.kind, MessageKind::Critical) << in.name;
        EXPECT_NE(box.text.find(in.utf8), std::string::npos)
            << in.name << ": the message does not name the file: " << box.text;
        EXPECT_NE(box.text.find(error), std::string::npos)
            << in.name << ": the message does not say why: " << box.text;
    }

    // Saved settings that name `path` as the picture: transparent, not on top.
    static void SaveWithPicture(const std::wstring& path) {
        WriteKey(std::vector<RegValue>{Text(L"Save", path), Text(L"Left", L"1500"),
                                       Text(L"Top", L"1200"), Text(L"Scale", L"True"),
                                       Text(L"Always", L"0")});
    }

    // Shows a good picture, then answers the change-picture dialog with each input.
    void ChangeToEach(const Input& good, const std::vector<Input>& inputs,
                      std::map<std::string, Timed>& loads) {
        SettingsGuard guard;
        SaveWithPicture(good.path);
        const auto settings = ReadKey();
        AppRun run;
        const bool running = run.Run([&] {
            ASSERT_TRUE(run.Shown()) << "the good picture was not shown";
            bool playing = false; // an animated picture keeps its file open while shown
            for (const Input& in : inputs) {
                const Timed& loaded = loads[in.name];
                if (!loaded.finished)
                    continue;
                const Picture* before = run.Shown();
                const SIZE size = before ? SIZE{before->width, before->height} : SIZE{};
                // The picture as it was; a playing one moves on to its next frames meanwhile.
                const auto unchanged = [&] {
                    const Picture* now = run.Shown();
                    return playing ? now && now->width == size.cx && now->height == size.cy
                                   : now == before;
                };
                const RECT rect = run.PictureRect();
                const std::string path = run.app.state().picturePath;
                const long boxes = run.platform.boxCount;
                const LiveCounts live = Live();

                run.platform.answers.push_back(in.utf8);
                run.Click(Command::ChangePicture);
                // A frame still being prepared for the picture before holds its file until
                // the work ends.
                PumpUntil([] { return LoadWorkers::Running() == 0; });

                const bool nowPlaying =
                    IsPictureName(in.utf8) && loaded.load.picture ? loaded.animated : playing;
                LiveCounts expected = live;
                expected.handles += long(nowPlaying) - long(playing);
                playing = nowPlaying;
                EXPECT_EQ(Live(), expected) << in.name;
                EXPECT_EQ(ReadKey(), settings) << in.name << ": the settings changed";
                EXPECT_TRUE(IsWindowVisible(run.PictureHwnd())) << in.name;
                if (!IsPictureName(in.utf8)) {
                    // Refused by its name before any load: the message lists the formats.
                    ASSERT_EQ(run.platform.boxCount, boxes + 1) << in.name;
                    EXPECT_EQ(run.platform.boxes.back().text, kRefusedText) << in.name;
                    EXPECT_TRUE(unchanged()) << in.name;
                    EXPECT_EQ(run.app.state().picturePath, path) << in.name;
                    continue;
                }
                if (loaded.load.picture && loaded.animated) {
                    // Frame after frame, each prepared by a worker in bounded time.
                    double slowest = 0;
                    for (int tick = 0; tick < 50; ++tick) {
                        const auto start = Clock::now();
                        run.app.Timer(TimerId::Animation);
                        PumpUntil([] { return LoadWorkers::Running() == 0; });
                        slowest = std::max(slowest, Ms(Clock::now() - start));
                    }
                    std::printf("[ hostile  ] %s: slowest of 50 frames %.0f ms\n", in.name.c_str(),
                                slowest);
                    EXPECT_LT(slowest, 1'000) << in.name;
                }
                if (loaded.load.picture) {
                    EXPECT_EQ(run.platform.boxCount, boxes) << in.name;
                    EXPECT_EQ(run.app.state().picturePath, in.utf8) << in.name;
                    ASSERT_TRUE(run.Shown()) << in.name;
                    const RECT now = run.PictureRect();
                    EXPECT_EQ(now.right - now.left, run.Shown()->width) << in.name;
                    EXPECT_EQ(now.bottom - now.top, run.Shown()->height) << in.name;
                    continue;
                }
                ASSERT_EQ(run.platform.boxCount, boxes + 1) << in.name << ": one message expected";
                CheckBox(in, run.platform.boxes.back(), loaded.load.error);
                EXPECT_TRUE(unchanged()) << in.name << ": the picture changed";
                const RECT now = run.PictureRect();
                EXPECT_TRUE(EqualRect(&now, &rect)) << in.name << ": the window moved";
                EXPECT_EQ(run.app.state().picturePath, path) << in.name;
            }
        });
        EXPECT_TRUE(running);
    }

    // Starts the program with the input saved as its picture.
    void StartWith(const Input& in, const Timed& loaded) {
        SettingsGuard guard;
        SaveWithPicture(in.path);
        const auto settings = ReadKey();
        AppRun run;
        bool visible = false;
        const bool running =
            run.Run([&] { visible = IsWindowVisible(run.PictureHwnd()) != FALSE; });
        EXPECT_TRUE(running) << in.name << ": the program ended at startup";
        EXPECT_EQ(ReadKey(), settings) << in.name << ": startup changed the settings";
        EXPECT_EQ(run.app.state().picturePath, in.utf8) << in.name;
        if (loaded.load.picture) {
            EXPECT_EQ(run.platform.boxCount, 0) << in.name;
            EXPECT_TRUE(visible) << in.name;
            return;
        }
        EXPECT_FALSE(visible) << in.name;
        ASSERT_EQ(run.platform.boxCount, 1) << in.name << ": one message expected at startup";
        CheckBox(in, run.platform.boxes[0], loaded.load.error);
    }

  private:
    bool com_ = false;
};

TEST_F(HostileInput, EmptyFiles) {
    Walk(Category("empty"));
}
TEST_F(HostileInput, JpegAndOthersCutAtEachEighth) {
    Walk(Category("truncated"));
}
TEST_F(HostileInput, RandomBitFlips) {
    Walk(Category("bitflip"));
}
TEST_F(HostileInput, HugeNegativeAndZeroSizes) {
    Walk(Category("huge"));
}
TEST_F(HostileInput, BitmapHeaderFieldsThatLie) {
    Walk(Category("bmpfields"));
}
TEST_F(HostileInput, GifStructure) {
    Walk(Category("gif"));
}
TEST_F(HostileInput, AnimatedGifsThatCouldTieItUp) {
    Walk(Category("animated"));
}
TEST_F(HostileInput, IconDirectoryThatLies) {
    Walk(Category("ico"));
}
TEST_F(HostileInput, OtherFormatsUnderPictureNames) {
    Walk(Category("renamed"));
}
TEST_F(HostileInput, ProgressiveJpegWithVeryManyScans) {
    Walk(Category("progressive"));
}
TEST_F(HostileInput, FolderWithAPictureName) {
    Walk(Category("folder"));
}
TEST_F(HostileInput, ValidPicturesShow) {
    Walk(Category("valid"));
}

// Device names are refused without reading from them (a read could wait forever).
TEST_F(HostileInput, DevicePaths) {
    const std::wstring pipe =
        L"\\\\.\\PIPE\\zorvane-hostile-" + std::to_wstring(GetCurrentProcessId());
    UniqueHandleObj server(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX,
                                            PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                            4096, 4096, 0, nullptr));
    ASSERT_NE(server.get(), INVALID_HANDLE_VALUE) << "could not make the pipe";
    const std::wstring devices[] = {
        L"\\\\.\\NUL",
        L"NUL",
        L"nul.bmp",
        L"C:\\nul.jpg",
        L"COM1",
        L"COM1.gif",
        L"\\\\.\\COM1",
        L"CON",
        L"CONIN$",
        L"CONOUT$",
        L"AUX",
        L"PRN",
        L"LPT1",
        pipe,
        L"\\\\.\\PIPE\\zorvane-no-such-pipe",
        L"\\\\.\\PIPE\\",
        L"\\\\.\\C:",
        L"\\\\?\\GLOBALROOT\\Device\\Null",
        L"\\\\.\\PhysicalDrive0",
    };
    std::vector<Input> inputs;
    for (const std::wstring& d : devices)
        inputs.push_back({"devices", "refuse", Narrow(d), "", d, Narrow(d)});
    Walk(inputs);
}

// Needs no generated files: the one input that crashed the process under Wine.
TEST(HostileGif, WithoutAnyColourTableIsRefused) {
    // 4 x 4, neither a global nor a local colour table, then ordinary LZW data.
    const std::vector<std::uint8_t> gif = {
        'G',  'I',  'F',  '8',  '9',  'a',  4,    0,    4,    0,    0x11, 0,    0,    0x2C,
        0,    0,    0,    0,    4,    0,    4,    0,    0,    2,    13,   0x04, 0x43, 0x71,
        0x0C, 0xC5, 0x11, 0x14, 0x47, 0x30, 0x1C, 0xC1, 0x50, 0x05, 0,    0x3B};
    ScratchFolder dir;
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const PictureLoad r = LoadPictureFile(dir.File(L"no-colours.gif", gif));
    if (com)
        CoUninitialize();
    EXPECT_FALSE(r.picture);
    EXPECT_NE(r.error.find("壊れて"), std::string::npos) << r.error;
}

// Closes the message boxes of this thread as they appear, keeping what they said.
class BoxCloser {
  public:
    BoxCloser() {
        seen().clear();
        timer_ = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~BoxCloser() { KillTimer(nullptr, timer_); }
    BoxCloser(const BoxCloser&) = delete;
    BoxCloser& operator=(const BoxCloser&) = delete;

    struct Seen {
        HWND hwnd;
        std::wstring title, text;
        HICON icon; // the one beside the text; none for a plain message
    };
    static std::vector<Seen>& seen() {
        static std::vector<Seen> s;
        return s;
    }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND h, LPARAM) -> BOOL {
                wchar_t cls[64] = {};
                GetClassNameW(h, cls, 64);
                if (std::wstring(cls) != L"#32770" || !IsWindowVisible(h))
                    return TRUE;
                for (const Seen& s : seen())
                    if (s.hwnd == h)
                        return TRUE;
                Seen s{h, {}, {}, nullptr};
                wchar_t title[256] = {};
                GetWindowTextW(h, title, 256);
                s.title = title;
                EnumChildWindows(
                    h,
                    [](HWND child, LPARAM p) -> BOOL {
                        auto& seen = *reinterpret_cast<Seen*>(p);
                        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                            IsWindowVisible(child))
                            seen.icon =
                                reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                        const int n = GetWindowTextLengthW(child);
                        std::wstring t(std::size_t(n) + 1, L'\0');
                        GetWindowTextW(child, t.data(), n + 1);
                        t.resize(std::size_t(n));
                        seen.text.append(t + L"\n");
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&s));
                seen().push_back(s);
                PostMessageW(h, WM_COMMAND, IDOK, 0);
                return TRUE;
            },
            0);
    }

    UINT_PTR timer_ = 0;
};

// The one test that lets the real message boxes appear: their words reach the screen, under
// the program's title, with the icon of their kind.
TEST(RealMessageBox, NamesTheFileAndWhyUnderTheTitleWithTheIconOfItsKind) {
    ScratchFolder dir;
    const std::wstring empty = dir.File(L"空っぽ.jpg", {});
    SettingsGuard guard;
    WriteKey(std::vector<RegValue>{Text(L"Save", empty)});
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        Win32Platform platform;
        App app(platform);
        DrainMessages();
        BoxCloser closer;
        ScenarioEvents events(app, platform, [&] {
            PumpUntil([&] { return !platform.Loading(); });
            for (const Command command : {Command::Help, Command::About})
                SendMessageW(platform.Menu().hwnd(), WM_COMMAND, CommandId(command), 0);
        });
        const auto start = Clock::now();
        platform.Run(events);
        DrainMessages();
        EXPECT_TRUE(events.stillRunning);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    }
    if (com)
        CoUninitialize();
    const auto& seen = BoxCloser::seen();
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& box : seen)
        EXPECT_EQ(box.title, Widen(kTitle));
    EXPECT_NE(seen[0].text.find(empty), std::wstring::npos) << Narrow(seen[0].text);
    EXPECT_NE(seen[0].text.find(L"空です"), std::wstring::npos) << Narrow(seen[0].text);
    EXPECT_EQ(seen[0].icon, LoadIconW(nullptr, IDI_ERROR));
    EXPECT_NE(seen[1].text.find(Widen(kHelpText)), std::wstring::npos) << Narrow(seen[1].text);
    EXPECT_EQ(seen[1].icon, LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_NE(seen[2].text.find(Widen(kAboutText)), std::wstring::npos) << Narrow(seen[2].text);
    EXPECT_EQ(seen[2].icon, nullptr);
}

} // namespace
} // namespace zorvane::win32
