#pragma once

#include "host/Runtime.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A runtime that keeps its state in memory and records what the program asked of it.
namespace zorvane::fake {

struct FakeForm : Form {
    explicit FakeForm(std::vector<std::string>& log, std::string name, TwipsRect initial)
        : log_(log), name_(std::move(name)), rect(initial) {}

    float Left() override { return rect.left; }
    float Top() override { return rect.top; }
    float Width() override { return rect.width; }
    float Height() override { return rect.height; }
    void SetLeft(float v) override { rect.left = v; }
    void SetTop(float v) override { rect.top = v; }
    void SetWidth(float v) override { rect.width = v; }
    void SetHeight(float v) override { rect.height = v; }
    bool Visible() override { return visible; }
    void SetVisible(bool v) override {
        visible = v;
        log_.push_back(name_ + (v ? ".Visible=True" : ".Visible=False"));
    }
    void Show() override {
        visible = true;
        log_.push_back(name_ + ".Show");
    }
    void Hide() override {
        visible = false;
        log_.push_back(name_ + ".Hide");
    }
    void SetTopmost(bool on) override {
        topmost = on;
        log_.push_back(name_ + (on ? ".Topmost=On" : ".Topmost=Off"));
    }
    void Unload() override {
        unloaded = true;
        log_.push_back(name_ + ".Unload");
    }

    std::vector<std::string>& log_;
    std::string name_;
    TwipsRect rect;
    bool visible = false;
    bool topmost = false;
    bool unloaded = false;
};

struct FakeShape : ShapeControl {
    explicit FakeShape(std::vector<std::string>& log, float twipsPerPixel)
        : log_(log), tpp_(twipsPerPixel) {}

    void SetAutoSize(bool on) override { autoSize = on; }
    void SetDragMovesForm(bool on) override { dragMovesForm = on; }
    void SetPicture(std::shared_ptr<const Picture> p) override {
        picture = std::move(p);
        log_.push_back("Vesquin1.Picture");
    }
    float Left() override { return 0; }
    float Width() override { return picture ? picture->width * tpp_ : 510; }
    float Height() override { return picture ? picture->height * tpp_ : 510; }
    bool BlendsPixels() override { return blends; }
    void CutTo(const Cutout& c) override {
        shaped = true;
        cut = c;
        log_.push_back("Vesquin1.CutTo");
    }
    void PlainRectangle() override {
        shaped = false;
        log_.push_back("Vesquin1.PlainRectangle");
    }
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* c) override {
        picture = std::move(frame);
        frames.push_back({picture, c ? std::optional(c->outline.rects) : std::nullopt, c});
    }

    std::vector<std::string>& log_;
    float tpp_;
    std::shared_ptr<const Picture> picture;
    bool autoSize = false, dragMovesForm = false, shaped = false;
    bool blends = true; // the desktop composites
    Cutout cut;         // the last one the window was cut to
    struct Frame {
        std::shared_ptr<const Picture> picture;
        std::optional<std::vector<Rect>> outline; // when the window took one
        const Cutout* built = nullptr;            // where it was kept
    };
    std::vector<Frame> frames; // by ShowFrame
};

// Frames held in memory; counts the reads, and fails from failAt on (a cut-off file).
struct MemoryFrames : FrameSource {
    explicit MemoryFrames(std::vector<GifFrame> f, std::size_t failAt = SIZE_MAX)
        : frames(std::move(f)), failAt(failAt) {}
    bool Read(std::size_t index, GifFrame& out) override {
        ++reads;
        if (index >= frames.size() || index >= failAt)
            return false;
        out = frames[index];
        return true;
    }
    std::vector<GifFrame> frames;
    std::size_t failAt;
    int reads = 0;
};

struct MsgBoxCall {
    std::string text;
    int style;
    std::string title;
};

struct LoadCall {
    std::uint64_t ticket;
    std::string path;
    bool done = false;
};

struct WorkCall {
    std::uint64_t ticket;
    std::function<void()> work;
    bool done = false;
};

// A file of frames: each load starts them anew.
struct AnimationFile {
    int width, height;
    std::vector<GifFrame> frames;
    int loopCount;
};

struct TrayCall {
    int message;
    TrayIconRecord record;
};

class FakeRuntime : public Runtime {
  public:
    FakeRuntime() {
        screen.width = 1024 * 15.0f;
        screen.height = 768 * 15.0f;
        monitors.push_back({{0, 0, screen.width, screen.height},
                            {0, 0, screen.width, screen.height - 40 * 15.0f}});
    }

    Form& GetForm(FormName name) override {
        auto& slot = forms[name];
        if (!slot) {
            static const char* names[] = {"TIMESTMP", "C_Disp", "C_Menu"};
            const TwipsRect initial = name == FormName::C_Disp ? TwipsRect{2085, 1170, 1020, 870}
                                                               : TwipsRect{0, 0, 4800, 3600};
            slot = std::make_unique<FakeForm>(log, names[int(name)], initial);
            log.push_back(std::string("create ") + names[int(name)]);
        }
        return *slot;
    }
    FakeForm* Existing(FormName name) {
        auto it = forms.find(name);
        return it == forms.end() ? nullptr : it->second.get();
    }
    FakeForm& Disp() { return static_cast<FakeForm&>(GetForm(FormName::C_Disp)); }

    ShapeControl& Vesquin1() override {
        GetForm(FormName::C_Disp);
        if (!shape)
            shape = std::make_unique<FakeShape>(log, screen.twipsPerPixelX);
        return *shape;
    }

    bool Checked(MenuItem item) override { return checked[item]; }
    void SetChecked(MenuItem item, bool on) override {
        GetForm(FormName::C_Menu);
        checked[item] = on;
    }
    void TrackPopupMenu(std::int16_t x, std::int16_t y) override {
        popups.push_back({x, y});
        log.push_back("TrackPopupMenu(" + std::to_string(x) + "," + std::to_string(y) + ")");
    }

    void MsgBox(const std::string& text, int style, const std::string& title) override {
        msgBoxes.push_back({text, style, title});
        log.push_back("MsgBox");
    }

    // Each load is recorded; it ends at once, unless the test holds loads to end them itself,
    // in any order, with CompleteLoad.
    void StartLoad(std::uint64_t ticket, const std::string& path) override {
        log.push_back("StartLoad(" + path + ")");
        loads.push_back({ticket, path});
        if (!holdLoads)
            CompleteLoad(loads.size() - 1);
    }
    // Ends the `index`th load started, with what the file holds (nothing when it is not among
    // the pictures).
    void CompleteLoad(std::size_t index) {
        const LoadCall call = loads.at(index);
        loads.at(index).done = true;
        log.push_back("PictureLoaded(" + call.path + ")");
        if (events)
            events->PictureLoaded(call.ticket, Decode(call.path));
    }
    PictureLoad Decode(const std::string& path) {
        if (auto anim = animations.find(path); anim != animations.end()) {
            const AnimationFile& file = anim->second;
            std::shared_ptr<Animation> a =
                Animation::Start(file.width, file.height, file.frames.size(), file.loopCount,
                                 std::make_unique<MemoryFrames>(file.frames));
            animationsLoaded.push_back(a);
            return {a->frame(), {}, a};
        }
        auto it = pictures.find(path);
        if (it == pictures.end())
            return {nullptr, "file not found", nullptr};
        return {it->second, {}, nullptr};
    }
    // A file of w x h pixels that loads.
    void AddPicture(const std::string& path, int w, int h) {
        auto p = std::make_shared<Picture>();
        p->width = w;
        p->height = h;
        p->pixels.assign(std::size_t(w) * h, 0xFF000000);
        pictures[path] = p;
    }
    // A file of frames on a w x h screen that loads.
    void AddAnimation(const std::string& path, int w, int h, std::vector<GifFrame> frames,
                      int loopCount = 0) {
        animations[path] = {w, h, std::move(frames), loopCount};
    }

    // Each piece of work is recorded; it runs at once, unless the test holds work to run it
    // itself, in any order, with CompleteWork.
    void StartWork(std::uint64_t ticket, std::function<void()> work) override {
        works.push_back({ticket, std::move(work)});
        if (!holdWork)
            CompleteWork(works.size() - 1);
    }
    // Runs the `index`th work started, lets go of what it held, and reports its end.
    void CompleteWork(std::size_t index) {
        std::function<void()> work = std::move(works.at(index).work);
        works.at(index).done = true;
        const std::uint64_t ticket = works.at(index).ticket;
        work();
        work = nullptr;
        if (events)
            events->WorkDone(ticket);
    }
    std::size_t WorksRunning() const {
        return std::size_t(
            std::count_if(works.begin(), works.end(), [](const WorkCall& w) { return !w.done; }));
    }

    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& def) override {
        auto it = settings.find(app + "\\" + section + "\\" + key);
        return it == settings.end() ? def : it->second;
    }
    bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override {
        if (failSaves)
            return false;
        settings[app + "\\" + section + "\\" + key] = text;
        saveOrder.push_back(key);
        return true;
    }
    void SetSaved(const std::string& key, const std::string& text) {
        settings["Kelvra\\Kelvra\\" + key] = text;
    }
    std::optional<std::string> Saved(const std::string& key) {
        auto it = settings.find("Kelvra\\Kelvra\\" + key);
        if (it == settings.end())
            return std::nullopt;
        return it->second;
    }

    bool PrevInstance() override { return prevInstance; }
    bool CallRunningCopy() override {
        log.push_back("CallRunningCopy");
        return true;
    }
    ScreenMetrics Screen() override { return screen; }
    std::vector<Monitor> Monitors() override { return monitors; }

    bool NotifyIcon(int message, const TrayIconRecord& record) override {
        tray.push_back({message, record});
        static const char* const names[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
        log.push_back(names[message]);
        if (message == kNimAdd && trayRefusals > 0) {
            --trayRefusals;
            return false;
        }
        return message != kNimModify || trayHasIcon;
    }

    bool TrayHostPresent() override { return trayHost; }
    bool Notify(const std::string& title, const std::string& text) override {
        log.push_back("Notify");
        if (notificationService)
            notifications.push_back({text, 0, title});
        return notificationService;
    }
    PixelPoint MousePosition() override { return mouse; }

    void SetTimer(TimerId id, int milliseconds) override {
        timers[id] = milliseconds;
        log.push_back("SetTimer");
    }
    void KillTimer(TimerId id) override {
        timers.erase(id);
        log.push_back("KillTimer");
    }
    // Each look at the clock finds it `stepTime` later than the last.
    std::chrono::steady_clock::time_point Now() override { return clock += stepTime; }

    std::optional<std::string> ShowOpen(const std::string& filter) override {
        dialogFilters.push_back(filter);
        log.push_back("ShowOpen");
        if (dialogAnswers.empty())
            return std::nullopt;
        auto answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }

    void End() override {
        ended = true;
        log.push_back("End");
    }

    std::vector<std::string> log;
    Events* events = nullptr; // where ended loads are reported
    std::vector<LoadCall> loads;
    bool holdLoads = false;
    std::map<FormName, std::unique_ptr<FakeForm>> forms;
    std::unique_ptr<FakeShape> shape;
    std::map<MenuItem, bool> checked;
    std::vector<std::pair<int, int>> popups;
    std::vector<MsgBoxCall> msgBoxes;
    std::map<std::string, std::shared_ptr<const Picture>> pictures;
    std::map<std::string, AnimationFile> animations;
    std::vector<std::weak_ptr<Animation>> animationsLoaded; // one for each load, in order
    std::vector<WorkCall> works;
    bool holdWork = false;
    std::map<std::string, std::string> settings;
    std::vector<std::string> saveOrder;
    bool failSaves = false;
    bool prevInstance = false;
    ScreenMetrics screen;
    std::vector<Monitor> monitors;
    std::vector<TrayCall> tray;
    int trayRefusals = 0;     // adds the shell refuses before it takes one
    bool trayHasIcon = false; // a modify finds the icon (the shell added it, yet timed out)
    bool trayHost = true;     // the desktop has a tray
    bool notificationService = false;
    std::vector<MsgBoxCall> notifications; // as shown, style 0
    PixelPoint mouse{300, 200};
    std::chrono::steady_clock::time_point clock{};
    std::chrono::milliseconds stepTime{0};
    std::map<TimerId, int> timers; // running timers and their periods
    std::deque<std::optional<std::string>> dialogAnswers;
    std::vector<std::string> dialogFilters;
    bool ended = false;
};

} // namespace zorvane::fake
