// The mask-run scan, native (Google Benchmark), on 4000x3000 pictures of five outlines:
// FindRowRuns against the plain per-pixel loop (FindRowRunsPerPixel) and a read-only pass over
// the same pixels, plus the whole BuildShapeRects. Ratios use the best CPU time of each measure.
// With --jpeg-decoded=PPM --jpeg-original=PPM (scripts/bench makes them), also a JPEG-decoded
// picture: the lossy rule's scan and shape against the exact ones.
// Lines starting with "RESULT" and "TARGET" are read by scripts/bench.

#include "Outlines.h"
#include "core/Cutout.h"
#include "core/PerPixelRuns.h"
#include "core/Shape.h"

#include <benchmark/benchmark.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <string>

using namespace zorvane;
using namespace zorvane::bench;

namespace {

constexpr Outline kOutlines[] = {Outline::Ellipse, Outline::WideStripes, Outline::FineStripes,
                                 Outline::Noise6, Outline::Noise25};

// A camera-sized picture of random colours, see-through (the mask colour) off the outline.
const Picture& TestPicture(Outline outline) {
    static std::map<Outline, Picture> cache;
    Picture& p = cache[outline];
    if (p.pixels.empty()) {
        p.width = 4000;
        p.height = 3000;
        p.pixels.resize(std::size_t(p.width) * p.height);
        std::mt19937 rng(1);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const bool ink = Ink(outline, x, y, p.width, p.height, rng);
                std::uint32_t colour = 0xFF000000 | rng();
                if (IsMaskPixel(colour))
                    colour ^= 1;
                p.pixels[std::size_t(y) * p.width + x] = ink ? colour : 0xFF008000;
            }
    }
    return p;
}

template <auto Scan> void BM_Scan(benchmark::State& state, Outline kind) {
    const Picture& p = TestPicture(kind);
    std::vector<Run> runs;
    for (auto _ : state) {
        for (int y = 0; y < p.height; ++y) {
            runs.clear();
            Scan(p.pixels.data() + std::size_t(y) * p.width, p.width, runs, 0);
        }
        benchmark::DoNotOptimize(runs.data());
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

// The floor: one read of every pixel, nothing else, as fast as this machine reads memory:
// 64 bytes a step into four independent vector sums.
void BM_ReadSum(benchmark::State& state, Outline kind) {
    const Picture& p = TestPicture(kind);
    const std::uint32_t* px = p.pixels.data();
    const std::size_t n = p.pixels.size() & ~std::size_t(15);
    for (auto _ : state) {
#ifdef __SSE2__
        __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0;
        for (std::size_t i = 0; i < n; i += 16) {
            const auto* v = reinterpret_cast<const __m128i*>(px + i);
            s0 = _mm_add_epi32(s0, _mm_loadu_si128(v));
            s1 = _mm_add_epi32(s1, _mm_loadu_si128(v + 1));
            s2 = _mm_add_epi32(s2, _mm_loadu_si128(v + 2));
            s3 = _mm_add_epi32(s3, _mm_loadu_si128(v + 3));
        }
        const __m128i s = _mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3));
        benchmark::DoNotOptimize(_mm_cvtsi128_si32(s));
#else
        std::uint32_t s[16] = {};
        for (std::size_t i = 0; i < n; i += 16)
            for (int j = 0; j < 16; ++j)
                s[j] += px[i + j];
        benchmark::DoNotOptimize(s);
#endif
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

// The whole shape with the program's rectangle limit (gaps filled past 32,000 rects).
void BM_BuildShapeRects(benchmark::State& state, Outline kind) {
    const Picture& p = TestPicture(kind);
    std::size_t rects = 0;
    for (auto _ : state) {
        const ShapeRects shape = BuildShapeRects(p);
        rects = shape.rects.size();
        benchmark::DoNotOptimize(shape.rects.data());
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
    state.counters["rects"] = double(rects);
}

// A camera-sized drawing as people make them: an anti-aliased ellipse in a smooth gradient
// on the mask green.
const Picture& DrawnPicture() {
    static Picture p;
    if (p.pixels.empty()) {
        p.width = 4000;
        p.height = 3000;
        p.pixels.resize(std::size_t(p.width) * p.height);
        const double a = 1800, b = 1300, cx = 2000, cy = 1500;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const double dx = (x + 0.5 - cx) / a, dy = (y + 0.5 - cy) / b;
                // Signed distance to the edge in pixels, near enough for a one-pixel blend.
                const double d = (std::sqrt(dx * dx + dy * dy) - 1) * std::min(a, b);
                const double t = std::clamp(0.5 - d, 0.0, 1.0);
                const double fr = 255.0 * x / p.width, fg = 40, fb = 255.0 * y / p.height;
                auto mix = [&](double figure, double key) {
                    return std::uint32_t(std::lround(key * (1 - t) + figure * t));
                };
                p.pixels[std::size_t(y) * p.width + x] =
                    0xFF000000u | mix(fr, 0) << 16 | mix(fg, 128) << 8 | mix(fb, 0);
            }
    }
    return p;
}

void BM_DrawnShape(benchmark::State& state) {
    const Picture& p = DrawnPicture();
    for (auto _ : state) {
        const ShapeRects shape = BuildShapeRects(p);
        benchmark::DoNotOptimize(shape.rects.data());
    }
}

void BM_DrawnCutout(benchmark::State& state) {
    const Picture& p = DrawnPicture();
    std::size_t edges = 0;
    for (auto _ : state) {
        const Cutout cut = MakeCutout(p, Edges::Soft);
        edges = cut.edges.size();
        benchmark::DoNotOptimize(cut.edges.data());
    }
    state.counters["matted"] = double(edges);
}

// Transparent with soft edges: the outline, and the blends along it matted.
void BM_Cutout(benchmark::State& state, Outline kind) {
    const Picture& p = TestPicture(kind);
    for (auto _ : state) {
        const Cutout cut = MakeCutout(p, Edges::Soft);
        benchmark::DoNotOptimize(cut.edges.data());
    }
    state.SetBytesProcessed(state.iterations() * p.pixels.size() * 4);
}

// A binary PPM (P6, 8 bits) as an opaque picture; empty when it cannot be read.
Picture ReadPpm(const std::string& path) {
    Picture p;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> p.width >> p.height >> maxval) || magic != "P6" || maxval != 255 ||
        !PictureSizeAllowed(std::uint64_t(std::max(p.width, 0)),
                            std::uint64_t(std::max(p.height, 0))))
        return {};
    in.get();
    std::vector<unsigned char> rgb(std::size_t(p.width) * p.height * 3);
    if (!in.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size())))
        return {};
    p.pixels.resize(std::size_t(p.width) * p.height);
    for (std::size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = 0xFF000000u | std::uint32_t(rgb[3 * i]) << 16 |
                      std::uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    return p;
}

// The JPEG pictures: the lossless original and the decoded JPEG (lossy).
Picture gOriginal, gDecoded;

struct JpegMeasure {
    const Picture* picture;
    int tolerance; // -1: the whole shape
    const char* text;
};
const JpegMeasure kJpegMeasures[] = {
    {&gDecoded, 0, "exact scan, the decoded JPEG"},
    {&gOriginal, 0, "exact scan, the lossless original"},
    {&gDecoded, kLossyMaskTolerance, "lossy scan, the decoded JPEG"},
    {&gOriginal, -1, "exact shape, the lossless original"},
    {&gDecoded, -1, "lossy shape, the decoded JPEG"},
};

// Best CPU ms of each JPEG measure over rounds that take every measure in turn: on a shared
// machine the exact and lossy scans then meet the same load, and the ratio holds steadier than
// between measures taken a while apart.
std::vector<double> MeasureJpeg(int rounds) {
    std::vector<double> best(std::size(kJpegMeasures), 1e30);
    std::vector<Run> runs;
    for (int round = 0; round < rounds; ++round)
        for (std::size_t m = 0; m < best.size(); ++m) {
            const Picture& p = *kJpegMeasures[m].picture;
            const std::clock_t start = std::clock();
            if (kJpegMeasures[m].tolerance < 0) {
                const ShapeRects shape = BuildShapeRects(p);
                benchmark::DoNotOptimize(shape.rects.data());
            } else {
                for (int y = 0; y < p.height; ++y) {
                    runs.clear();
                    FindRowRuns(p.pixels.data() + std::size_t(y) * p.width, p.width, runs,
                                kJpegMeasures[m].tolerance);
                }
                benchmark::DoNotOptimize(runs.data());
            }
            best[m] = std::min(best[m], 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC);
        }
    return best;
}

const char* const kMeasures[] = {"read", "runs", "per-pixel", "shape", "cutout"};

// Prints as usual and keeps the best CPU time of each measure over its repetitions (CPU time
// and the best of several are the steadiest figures on a shared machine).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration)
                continue;
            const auto [it, fresh] =
                times.emplace(r.run_name.function_name, r.GetAdjustedCPUTime());
            if (!fresh)
                it->second = std::min(it->second, r.GetAdjustedCPUTime());
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    // Unless told otherwise: five repetitions of everything in random order, so that a change
    // in the machine's load falls on baselines and scans alike.
    std::vector<char*> args;
    std::string decodedPath, originalPath;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--jpeg-decoded=", 0) == 0)
            decodedPath = a.substr(15);
        else if (a.rfind("--jpeg-original=", 0) == 0)
            originalPath = a.substr(16);
        else
            args.push_back(argv[i]);
    }
    argc = int(args.size());
    std::string reps = "--benchmark_repetitions=5",
                order = "--benchmark_enable_random_interleaving=true",
                minTime = "--benchmark_min_time=0.2";
    bool told = false;
    for (int i = 1; i < argc; ++i)
        told = told || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!told)
        args.insert(args.begin() + 1, {reps.data(), order.data(), minTime.data()});
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    // Each picture's four measures are registered together; run as repetitions in random
    // order, a change in the machine's load touches a baseline and what is compared with it
    // alike.
    for (Outline k : kOutlines) {
        const std::string name = Name(k);
        benchmark::RegisterBenchmark(("read/" + name).c_str(), BM_ReadSum, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("runs/" + name).c_str(), BM_Scan<FindRowRuns>, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("per-pixel/" + name).c_str(), BM_Scan<FindRowRunsPerPixel>, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("shape/" + name).c_str(), BM_BuildShapeRects, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("cutout/" + name).c_str(), BM_Cutout, k)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("drawn-shape", BM_DrawnShape)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("drawn-cutout", BM_DrawnCutout)->Unit(benchmark::kMillisecond);
    if (!decodedPath.empty()) {
        gDecoded = ReadPpm(decodedPath);
        gOriginal = ReadPpm(originalPath);
        gDecoded.lossy = true;
        if (gDecoded.pixels.empty() || gOriginal.width != gDecoded.width ||
            gOriginal.height != gDecoded.height) {
            std::fprintf(stderr, "shape_bench: cannot read %s and %s as PPMs of one size\n",
                         decodedPath.c_str(), originalPath.c_str());
            return 1;
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // What the machine charges for memory touched the first time: it weighs on every step that
    // fills a fresh picture-sized buffer (decode, the window's surface), not on the scan.
    double firstTouch = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::uint32_t> fresh(std::size_t(4000) * 3000, 1);
        benchmark::DoNotOptimize(fresh.data());
        firstTouch = std::min(firstTouch, std::chrono::duration<double, std::milli>(
                                              std::chrono::steady_clock::now() - t0)
                                              .count());
    }

    // The run scan against the plain per-pixel loop (>= 3x) and the read-only pass (<= 1.5x).
    std::printf("\nMask-run scan, 4000x3000 pixels, best CPU ms (ratio to the read-only pass):\n");
    std::printf("%-13s %9s %14s %14s %14s %14s %9s\n", "picture", "runs/row", "read-only",
                "FindRowRuns", "per-pixel", "BuildShape", "x per-px");
    std::string results, targets;
    char line[400];
    std::string cutouts =
        "\nSoft-edged cutout (MakeCutout) against the exact shape (BuildShapeRects), "
        "best CPU ms:\n";
    for (Outline k : kOutlines) {
        const std::string name = Name(k);
        double t[5];
        bool have = true;
        for (int m = 0; m < 5; ++m) {
            const auto it = reporter.times.find(std::string(kMeasures[m]) + "/" + name);
            have = have && it != reporter.times.end();
            t[m] = have ? it->second : 0;
        }
        if (!have)
            continue;
        const Picture& p = TestPicture(k);
        const double speedup = t[2] / t[1], overFloor = t[1] / t[0];
        std::printf("%-13s %9.1f %8.2f (1.0) %8.2f (%.2f) %8.2f (%.2f) %8.2f (%.2f) %8.1fx\n",
                    name.c_str(), double(CountRuns(p)) / p.height, t[0], t[1], overFloor, t[2],
                    t[2] / t[0], t[3], t[3] / t[0], speedup);
        std::snprintf(line, sizeof line,
                      "RESULT scan %s read_ms=%.3f runs_ms=%.3f perpixel_ms=%.3f shape_ms=%.3f "
                      "x_perpixel=%.2f x_read=%.2f\n",
                      Id(k), t[0], t[1], t[2], t[3], speedup, overFloor);
        results += line;
        std::snprintf(line, sizeof line, "%-13s shape %8.2f  cutout %8.2f (%.2fx)\n", name.c_str(),
                      t[3], t[4], t[4] / t[3]);
        cutouts += line;
        std::snprintf(line, sizeof line, "RESULT cutout %s shape_ms=%.3f cutout_ms=%.3f\n", Id(k),
                      t[3], t[4]);
        results += line;
        std::snprintf(line, sizeof line,
                      "TARGET scan_%s %.1fx per-pixel, %.2fx read-only need>=3x,<=1.5x %s\n", Id(k),
                      speedup, overFloor, speedup >= 3 && overFloor <= 1.5 ? "MET" : "MISSED");
        targets += line;
    }
    const auto drawnShape = reporter.times.find("drawn-shape"),
               drawnCutout = reporter.times.find("drawn-cutout");
    if (drawnShape != reporter.times.end() && drawnCutout != reporter.times.end()) {
        // The random pictures above are the worst case: every figure pixel another colour.
        const double s = drawnShape->second, c = drawnCutout->second;
        std::snprintf(line, sizeof line, "%-13s shape %8.2f  cutout %8.2f (%.2fx)\n", "drawn", s, c,
                      c / s);
        cutouts += line;
        std::snprintf(line, sizeof line, "RESULT cutout drawn shape_ms=%.3f cutout_ms=%.3f\n", s,
                      c);
        results += line;
        std::snprintf(line, sizeof line,
                      "TARGET cutout_drawn %.2fx the exact shape need<=1.5x %s\n", c / s,
                      c / s <= 1.5 ? "MET" : "MISSED");
        targets += line;
    }
    std::printf("%s", cutouts.c_str());
    if (!gDecoded.pixels.empty()) {
        const std::vector<double> t = MeasureJpeg(30);
        std::printf("\nJPEG-decoded picture, %dx%d, best CPU ms of 30 rounds:\n", gDecoded.width,
                    gDecoded.height);
        for (std::size_t m = 0; m < std::size(kJpegMeasures); ++m)
            std::printf("%-36s %8.2f\n", kJpegMeasures[m].text, t[m]);
        const double scan = t[2] / t[0], scanOriginal = t[2] / t[1], shape = t[4] / t[3];
        std::printf("lossy scan = %.2fx the exact scan of the same pixels, %.2fx that of the "
                    "original; lossy shape = %.2fx the exact shape of the original\n",
                    scan, scanOriginal, shape);
        std::snprintf(line, sizeof line,
                      "RESULT jpeg exact_scan_decoded_ms=%.3f exact_scan_original_ms=%.3f "
                      "lossy_scan_ms=%.3f exact_shape_ms=%.3f lossy_shape_ms=%.3f\n",
                      t[0], t[1], t[2], t[3], t[4]);
        results += line;
        std::snprintf(line, sizeof line,
                      "TARGET jpeg_lossy_scan %.2fx the exact scan (%.2f vs %.2f ms; %.2fx "
                      "the original's) need<=1.3x %s\n",
                      scan, t[2], t[0], scanOriginal,
                      std::max(scan, scanOriginal) <= 1.3 ? "MET" : "MISSED");
        targets += line;
    }
    std::printf("\nFresh memory: a 48 MB buffer allocated and filled in %.0f ms (best of 3).\n",
                firstTouch);
    std::printf("\n%sRESULT memory first_touch_48mb_ms=%.1f\n%s", results.c_str(), firstTouch,
                targets.c_str());
    benchmark::Shutdown();
}
