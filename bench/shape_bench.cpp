#include "picture/Shape.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

using namespace zorvane;

namespace {

enum Kind { kBlob, kNoise };

// A camera-sized picture: a disc on the mask colour, or speckle that makes a run every few pixels.
const Picture& TestPicture(int kind) {
    static std::map<int, Picture> cache;
    Picture& p = cache[kind];
    if (p.pixels.empty()) {
        p.width = 4000;
        p.height = 3000;
        p.pixels.resize(std::size_t(p.width) * p.height);
        std::mt19937 rng(1);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const double dx = (x - 2000) / 1900.0, dy = (y - 1500) / 1400.0;
                const bool ink = kind == kBlob ? dx * dx + dy * dy < 1 : rng() % 4 != 0;
                p.pixels[std::size_t(y) * p.width + x] = ink ? 0xFF000000 | rng() : 0xFF008000;
            }
    }
    return p;
}

template <auto Scan> void BM_Scan(benchmark::State& state) {
    const Picture& p = TestPicture(int(state.range(0)));
    std::vector<Run> runs;
    for (auto _ : state) {
        for (int y = 0; y < p.height; ++y) {
            runs.clear();
            Scan(p.pixels.data() + std::size_t(y) * p.width, p.width, runs);
        }
        benchmark::DoNotOptimize(runs.data());
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

// The floor: one read of every pixel, nothing else. Four sums so the adds never wait on
// each other and the loop vectorises.
void BM_ReadSum(benchmark::State& state) {
    const Picture& p = TestPicture(int(state.range(0)));
    const std::uint32_t* px = p.pixels.data();
    const std::size_t n = p.pixels.size() & ~std::size_t(3);
    for (auto _ : state) {
        std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (std::size_t i = 0; i < n; i += 4) {
            s0 += px[i];
            s1 += px[i + 1];
            s2 += px[i + 2];
            s3 += px[i + 3];
        }
        benchmark::DoNotOptimize(s0 + s1 + s2 + s3);
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

void BM_BuildShapeRects(benchmark::State& state) {
    const Picture& p = TestPicture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildShapeRects(p).rects.data());
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

BENCHMARK(BM_ReadSum)->Arg(kBlob)->Arg(kNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan<FindRowRuns>)
    ->Name("BM_ScanRuns")
    ->Arg(kBlob)
    ->Arg(kNoise)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan<FindRowRunsPerPixel>)
    ->Name("BM_ScanPerPixel")
    ->Arg(kBlob)
    ->Arg(kNoise)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildShapeRects)->Arg(kBlob)->Arg(kNoise)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each CPU time (steadier than wall time on a shared machine) for
// the ratios against the read-only pass.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* arg : {"0", "1"}) {
        const auto floor = reporter.times.find(std::string("BM_ReadSum/") + arg);
        if (floor == reporter.times.end())
            continue;
        std::printf("\n%s picture, CPU time / read-only pass:\n", *arg == '0' ? "blob" : "noise");
        for (const char* name : {"BM_ScanRuns/", "BM_ScanPerPixel/", "BM_BuildShapeRects/"}) {
            const auto it = reporter.times.find(name + std::string(arg));
            if (it != reporter.times.end())
                std::printf("  %-20s %.2f\n", name, it->second / floor->second);
        }
    }
    benchmark::Shutdown();
}
