// Saved settings as anyone could leave them in the registry: number reading and
// writing, and the whole startup against the fake runtime with fuzzed values,
// monitors and picture. Nothing may crash, and the window's place stays finite
// and on a monitor.

#include "../fake/FakePlatform.h"
#include "app/App.h"
#include "app/Settings.h"
#include "core/Conversions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include <bit>
#include <cmath>

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

bool Overlaps(const PixelRect& a, const PixelRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

struct Scene {
    Screen screen;
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
        // Work area inside the bounds.
        const int left = in.ConsumeIntegralInRange(-8000, 8000);
        const int top = in.ConsumeIntegralInRange(-8000, 8000);
        const int width = in.ConsumeIntegralInRange(200, 8000);
        const int height = in.ConsumeIntegralInRange(200, 8000);
        const int cut = in.ConsumeIntegralInRange(0, 100);
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
    PixelRect rect;
    std::map<std::string, std::string> saved; // after Save current state
};

Started Start(const Scene& scene, const std::string& save, const SavedSettings& values,
              bool anotherCopy, bool saveAfter) {
    fake::FakePlatform rt;
    rt.screen = scene.screen;
    rt.monitors = scene.monitors;
    rt.anotherCopy = anotherCopy;
    if (scene.picture) {
        // Only the size matters here; no pixels, so that large pictures cost nothing.
        auto p = std::make_shared<Picture>();
        p->width = scene.w;
        p->height = scene.h;
        rt.pictures[save] = p;
    }
    rt.SetSaved("Save", save);
    rt.SetSaved("Left", values.left);
    rt.SetSaved("Top", values.top);
    rt.SetSaved("Scale", values.transparent);
    rt.SetSaved("Always", values.alwaysOnTop);
    App app(rt);
    rt.events = &app; // ended loads come back to it
    app.Started();

    Started out;
    CHECK(rt.saveOrder.empty()); // startup never writes
    CHECK(rt.quit == anotherCopy);
    if (anotherCopy) {
        CHECK(rt.messages.empty() && rt.tray.empty() && rt.loads.empty());
        return out;
    }
    CHECK(app.state().picturePath == save);
    CHECK(rt.checked[Command::Transparent] == (values.transparent != "False"));
    CHECK(rt.checked[Command::AlwaysOnTop] == (values.alwaysOnTop == "1"));
    const bool tried = !Trim(save).empty();
    CHECK(rt.messages.size() == (tried && !scene.picture ? 1u : 0u));
    if (!rt.messages.empty())
        CHECK(rt.messages[0].text.find(save) != std::string::npos);

    const PixelRect& r = rt.window.bounds;
    CHECK(std::abs(r.left) <= 30000 && std::abs(r.top) <= 30000);
    out.shown = rt.window.visible;
    CHECK(out.shown == (tried && scene.picture));
    out.rect = r;
    if (out.shown) {
        bool onSome = scene.monitors.empty();
        for (const Monitor& m : scene.monitors)
            onSome = onSome || Overlaps(r, m.bounds);
        CHECK(onSome);
        if (saveAfter) {
            app.CommandChosen(Command::SaveState);
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

    const bool anotherCopy = in.ConsumeIntegralInRange(0, 15) == 0;
    std::string save = in.ConsumeRandomLengthString(200);
    if (save.empty() && in.ConsumeBool())
        save = "C:\\pics\\p.bmp";
    SavedSettings values;
    values.left = in.ConsumeRandomLengthString(80);
    values.top = in.ConsumeRandomLengthString(80);
    values.transparent = in.ConsumeRandomLengthString(8);
    values.alwaysOnTop = in.ConsumeRandomLengthString(4);
    const Scene scene = MakeScene(in);
    CheckReading(values.left);
    CheckReading(values.top);

    const Started first = Start(scene, save, values, anotherCopy, true);
    if (!first.shown)
        return 0;
    // What Save current state wrote puts the window back where it was.
    SavedSettings again;
    again.left = first.saved.at("Left");
    again.top = first.saved.at("Top");
    again.transparent = first.saved.at("Scale");
    again.alwaysOnTop = first.saved.at("Always");
    CHECK(first.saved.at("Save") == save);
    CHECK(SavedCoordinateToPixels(again.left, scene.screen.twipsPerPixelX) == first.rect.left);
    CHECK(SavedCoordinateToPixels(again.top, scene.screen.twipsPerPixelY) == first.rect.top);
    const Started second = Start(scene, save, again, false, false);
    CHECK(second.shown);
    CHECK(second.rect == first.rect);
    return 0;
}
