// Saved settings as anyone could leave them in the registry: number reading and
// writing, and the whole startup against the fake runtime with fuzzed values,
// monitors and picture. Nothing may crash, and the window's place stays finite
// and on a monitor.

#include "../fake/FakeRuntime.h"
#include "host/Conversions.h"
#include "host/Program.h"
#include "host/Settings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

using namespace zorvane;

namespace {

bool SameBits(std::optional<float> a, float b) {
    return a && std::bit_cast<std::uint32_t>(*a) == std::bit_cast<std::uint32_t>(b);
}

// A finite single written by the program reads back to exactly the same value:
// as written, as a comma-decimal locale writes it, and with blanks around it.
void CheckRoundTrip(float f) {
    if (!std::isfinite(f))
        return;
    const std::string text = SingleToText(f);
    CHECK(SameBits(TextToSingle(text), f));
    std::string comma = text;
    for (char& c : comma)
        if (c == '.')
            c = ',';
    CHECK(SameBits(TextToSingle(comma), f));
    CHECK(SameBits(TextToSingle("  " + text + "   "), f));
}

// Whatever the text, a number read from it is finite, and blanks around it change nothing.
void CheckReading(const std::string& text) {
    const std::optional<float> v = TextToSingle(text);
    if (v) {
        CHECK(std::isfinite(*v));
        CheckRoundTrip(*v);
    }
    const std::optional<float> padded = TextToSingle(" " + text + "  ");
    CHECK(v.has_value() == padded.has_value());
    if (v)
        CHECK(SameBits(padded, *v));
}

bool Overlaps(const TwipsRect& a, const TwipsRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

struct Scene {
    ScreenMetrics screen;
    std::vector<Monitor> monitors;
    bool picture = false;
    int w = 1, h = 1;
};

Scene MakeScene(FuzzedDataProvider& in) {
    Scene s;
    static constexpr float kTwipsPerPixel[] = {15.0f, 12.0f, 10.0f, 1440.0f / 168.0f, 7.5f};
    s.screen.twipsPerPixelX = s.screen.twipsPerPixelY = in.PickValueInArray(kTwipsPerPixel);
    const int count = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        // Whole pixels, as the system reports monitors; work area inside the bounds.
        const float t = s.screen.twipsPerPixelX;
        const float left = t * float(in.ConsumeIntegralInRange(-8000, 8000));
        const float top = t * float(in.ConsumeIntegralInRange(-8000, 8000));
        const float width = t * float(in.ConsumeIntegralInRange(200, 8000));
        const float height = t * float(in.ConsumeIntegralInRange(200, 8000));
        const float cut = t * float(in.ConsumeIntegralInRange(0, 100));
        s.monitors.push_back(
            {{left, top, width, height}, {left + cut, top, width - 2 * cut, height - cut}});
    }
    if (!s.monitors.empty()) {
        s.screen.width = s.monitors[0].bounds.width;
        s.screen.height = s.monitors[0].bounds.height;
    }
    s.picture = in.ConsumeBool();
    s.w = in.ConsumeIntegralInRange(1, kMaxPictureSide);
    s.h = in.ConsumeIntegralInRange(1, kMaxPictureSide);
    return s;
}

struct Started {
    bool shown = false;
    TwipsRect rect;
    std::map<std::string, std::string> saved; // after Save current state
};

Started Start(const Scene& scene, const std::string& save, const SavedSettings& values,
              bool prevInstance, bool saveAfter) {
    fake::FakeRuntime rt;
    rt.screen = scene.screen;
    rt.monitors = scene.monitors;
    rt.prevInstance = prevInstance;
    if (scene.picture) {
        // Only the size matters here; no pixels, so that large pictures cost nothing.
        auto p = std::make_shared<Picture>();
        p->width = scene.w;
        p->height = scene.h;
        rt.pictures[save] = p;
    }
    rt.SetSaved("Save", save);
    rt.SetSaved("Left", values.Left);
    rt.SetSaved("Top", values.Top);
    rt.SetSaved("Scale", values.Scale);
    rt.SetSaved("Always", values.Always);
    Program program(rt);
    rt.events = &program; // ended loads come back to it
    program.TIMESTMP_Form_Load();

    Started out;
    CHECK(rt.saveOrder.empty()); // startup never writes
    CHECK(!rt.ended);
    if (prevInstance) {
        CHECK(rt.msgBoxes.empty() && rt.tray.empty());
        CHECK(rt.Existing(FormName::C_Disp) == nullptr);
        return out;
    }
    CHECK(program.shared().PicturePath == save);
    CHECK(rt.Checked(MenuItem::p_scale) == (values.Scale != "False"));
    CHECK(rt.Checked(MenuItem::p_top) == (values.Always == "1"));
    const bool tried = !Trim(save).empty();
    CHECK(rt.msgBoxes.size() == (tried && !scene.picture ? 1u : 0u));
    if (!rt.msgBoxes.empty())
        CHECK(rt.msgBoxes[0].text.find(save) != std::string::npos);

    fake::FakeForm* disp = rt.Existing(FormName::C_Disp);
    if (!disp)
        return out;
    const TwipsRect& r = disp->rect;
    CHECK(std::isfinite(r.left) && std::isfinite(r.top));
    out.shown = disp->visible;
    CHECK(out.shown == (tried && scene.picture));
    out.rect = r;
    if (out.shown) {
        bool onSome = scene.monitors.empty();
        for (const Monitor& m : scene.monitors)
            onSome = onSome || Overlaps(r, m.bounds);
        CHECK(onSome);
        if (saveAfter) {
            program.C_Menu_Click(MenuItem::p_savepic);
            for (const char* key : {"Save", "Left", "Top", "Scale", "Always"})
                out.saved[key] = rt.Saved(key).value_or("");
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CheckRoundTrip(std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>()));

    const bool prevInstance = in.ConsumeIntegralInRange(0, 15) == 0;
    std::string save = in.ConsumeRandomLengthString(200);
    if (save.empty() && in.ConsumeBool())
        save = "C:\\pics\\p.bmp";
    SavedSettings values;
    values.Left = in.ConsumeRandomLengthString(80);
    values.Top = in.ConsumeRandomLengthString(80);
    values.Scale = in.ConsumeRandomLengthString(8);
    values.Always = in.ConsumeRandomLengthString(4);
    const Scene scene = MakeScene(in);
    CheckReading(values.Left);
    CheckReading(values.Top);

    const Started first = Start(scene, save, values, prevInstance, true);
    if (!first.shown)
        return 0;
    // What Save current state wrote puts the window back where it was.
    SavedSettings again;
    again.Left = first.saved.at("Left");
    again.Top = first.saved.at("Top");
    again.Scale = first.saved.at("Scale");
    again.Always = first.saved.at("Always");
    CHECK(first.saved.at("Save") == save);
    CHECK(SameBits(TextToSingle(again.Left), first.rect.left));
    CHECK(SameBits(TextToSingle(again.Top), first.rect.top));
    const Started second = Start(scene, save, again, false, false);
    CHECK(second.shown);
    CHECK(second.rect == first.rect);
    return 0;
}
