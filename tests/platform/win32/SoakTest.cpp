// Soak: the picture changed many times through the program, good files and bad
// in turn, with Transparent and Always on top toggled in between. Handles and
// memory after warm-up must be where they are at the end. Run by tests/soak/run.sh,
// which sets ZORVANE_SOAK_CHANGES and ZORVANE_HOSTILE_DIR; skipped otherwise.

#include "AppHarness.h"
#include "app/LoadWorkers.h"
#include "platform/win32/WicLoader.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>

namespace zorvane::win32 {
namespace {

using namespace harness;

struct Sample {
    LiveCounts live{};
    std::size_t workingSet = 0, privateBytes = 0, heapInUse = 0, virtualInUse = 0;
    DWORD gdiObjects = 0, userObjects = 0, kernelHandles = 0;
};

Sample Measure() {
    Sample s;
    s.live = Live();
    s.heapInUse = HeapInUse();
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status))
        s.virtualInUse = std::size_t(status.ullTotalVirtual - status.ullAvailVirtual);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                             sizeof pmc)) {
        s.workingSet = pmc.WorkingSetSize;
        s.privateBytes = pmc.PrivateUsage;
    }
    s.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    s.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &s.kernelHandles);
    return s;
}

void Print(const char* when, int change, const Sample& s) {
    const auto mib = [](std::size_t bytes) { return double(bytes) / (1 << 20); };
    std::printf("[ soak     ] %-7s after change %4d: %s\n"
                "[ soak     ]         working set %.2f MiB, private %.2f MiB, heaps in use %.2f "
                "MiB, address space %.1f MiB; GDI %lu, USER %lu, kernel handles %lu\n",
                when, change, Describe(s.live).c_str(), mib(s.workingSet), mib(s.privateBytes),
                mib(s.heapInUse), mib(s.virtualInUse), s.gdiObjects, s.userObjects,
                s.kernelHandles);
}

// Valid, damaged and oversized files in turn; an even count, so that the toggles
// are back where they were each time the list comes round.
const char* const kCycle[] = {
    "valid/good.bmp",
    "bitflip/jpeg_flip3.jpg",
    "valid/good.jpg",
    "huge/bmp_65535x65535.bmp",
    "valid/good.gif",
    "truncated/jpeg_cut_4of8.jpg",
    "valid/good.ico",
    "empty/empty.bmp",
    "valid/large.bmp",
    "huge/gif_screen_65535.gif",
    "gif/frame_partly_outside.gif",
    "ico/count_65535.ico",
    "renamed/png.jpg",
    "huge/bmp_16384x4097.bmp",
    "progressive/plain_progressive.jpg",
    "folder/x.bmp",
};
constexpr int kPeriod = int(std::size(kCycle));
static_assert(kPeriod % 2 == 0);

// Growth in memory this small is allocator noise, not a leak: one leaked picture
// of the cycle's largest file alone is 1.2 MiB, and a leak per change adds up
// over hundreds of changes.
constexpr std::size_t kMemorySlack = 3u << 20;

TEST(Soak, PictureChangesLeaveNoHandleOrMemoryBehind) {
    const char* count = std::getenv("ZORVANE_SOAK_CHANGES");
    const std::wstring root = FolderFromEnvironment("ZORVANE_HOSTILE_DIR");
    if (!count || root.empty())
        GTEST_SKIP() << "a soak run: tests/soak/run.sh sets ZORVANE_SOAK_CHANGES and "
                        "ZORVANE_HOSTILE_DIR";
    const int changes = std::max(std::atoi(count), 4 * kPeriod);
    // Warm-up: a few rounds, ending where the last round ends.
    const int warm = 2 * kPeriod + changes % kPeriod;

    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    std::vector<std::string> paths;
    std::vector<bool> refused;
    for (const char* name : kCycle) {
        std::wstring rel = Widen(name);
        std::replace(rel.begin(), rel.end(), L'/', L'\\');
        const std::wstring path = root + L"\\" + rel;
        ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << name;
        paths.push_back(Narrow(path));
        refused.push_back(!LoadPictureFile(path).picture);
    }

    SettingsGuard guard;
    WriteKey(std::vector<RegValue>{Text(L"Save", Widen(paths[0])), Text(L"Left", L"1500"),
                                   Text(L"Top", L"1200")});
    AppRun run;
    run.platform.keepBoxes = false;
    Sample atWarm, atEnd;
    long expectedBoxes = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool running = run.Run([&] {
        for (int i = 0; i < changes; ++i) {
            const int k = i % kPeriod;
            run.platform.answers.push_back(paths[std::size_t(k)]);
            run.Click(Command::ChangePicture);
            Pump();
            expectedBoxes += refused[std::size_t(k)] ? 1 : 0;
            ASSERT_EQ(run.platform.boxCount, expectedBoxes) << "change " << i << ": " << kCycle[k];
            run.Click(Command::Transparent);
            Pump();
            run.Click(Command::AlwaysOnTop);
            Pump();
            if (i + 1 == warm) {
                // Read with no frame being prepared, which would hold its picture's file.
                PumpUntil([] { return LoadWorkers::Running() == 0; });
                atWarm = Measure();
                Print("warm-up", i + 1, atWarm);
            }
        }
        PumpUntil([] { return LoadWorkers::Running() == 0; });
        atEnd = Measure();
        Print("end", changes, atEnd);
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ soak     ] %d changes (%ld refused with a message) in %.1f s, %.1f ms each\n",
                changes, expectedBoxes, seconds, 1000 * seconds / changes);
    if (com)
        CoUninitialize();

    EXPECT_TRUE(running);
    EXPECT_EQ(atEnd.live, atWarm.live)
        << "warm-up: " << Describe(atWarm.live) << "\nend:     " << Describe(atEnd.live);
    EXPECT_LE(atEnd.gdiObjects, atWarm.gdiObjects);
    EXPECT_LE(atEnd.userObjects, atWarm.userObjects);
    EXPECT_LE(atEnd.kernelHandles, atWarm.kernelHandles);
    EXPECT_LE(atEnd.privateBytes, atWarm.privateBytes + kMemorySlack);
    EXPECT_LE(atEnd.workingSet, atWarm.workingSet + kMemorySlack);
    EXPECT_LE(atEnd.heapInUse, atWarm.heapInUse + kMemorySlack);
    EXPECT_LE(atEnd.virtualInUse, atWarm.virtualInUse + kMemorySlack);
}

} // namespace
} // namespace zorvane::win32
