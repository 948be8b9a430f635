#pragma once

#include "app/PictureWindow.h"
#include "app/Platform.h"
#include "core/Animation.h"
#include "core/FrameArt.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A platform that keeps its state in memory and records what the program asked of it.
namespace zorvane::fake {

struct FakeWindow : PlatformWindow {
    explicit FakeWindow(std::vector<std::string>& log) : log_(log) {}

    PixelRect Bounds() override { return bounds; }
    void Move(int left, int top) override {
        bounds.left = left;
        bounds.top = top;
    }
    void Resize(int width, int height) override {
        bounds.width = width;
        bounds.height = height;
    }
    bool Visible() override { return visible; }
    void Show() override {
        visible = true;
        log_.push_back("window.Show");
    }
    void Hide() override {
        visible = false;
        log_.push_back("window.Hide");
    }
    void SetTopmost(bool on) override {
        topmost = on;
        log_.push_back(on ? "window.Topmost=On" : "window.Topmost=Off");
    }

    std::vector<std::string>& log_;
    PixelRect bounds = FirstWindowBounds({}); // where it stands before a picture fits it
    bool visible = false;
    bool topmost = false;
};

struct FakeView : PictureView {
    explicit FakeView(std::vector<std::string>& log) : log_(log) {}

    void SetPicture(std::shared_ptr<const Picture> p) override {
        picture = std::move(p);
        log_.push_back("view.Picture");
    }
    bool BlendsPixels() override { return blends; }
    void CutTo(const Cutout& c) override {
        shaped = true;
        cut = c;
        log_.push_back("view.CutTo");
    }
    void PlainRectangle() override {
        shaped = false;
        log_.push_back("view.PlainRectangle");
    }
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* c) override {
        picture = std::move(frame);
        frames.push_back({picture, c ? std::optional(c->outline.rects) : std::nullopt, c});
    }

    std::vector<std::string>& log_;
    std::shared_ptr<const Picture> picture;
    bool shaped = false;
    bool blends = true; // the desktop composites
    Cutout cut;         // the last one the window was cut to
    struct Frame {
        std::shared_ptr<const Picture> picture;
        std::optional<std::vector<Rect>> outline; // when the window took one
        const Cutout* built = nullptr;            // where it was kept
    };
    std::vector<Frame> frames; // by ShowFrame
};

struct Message {
    std::string text;
    MessageKind kind;
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

class FakePlatform : public Platform {
  public:
    FakePlatform() {
        screen.width = 1024;
        screen.height = 768;
        monitors.push_back({{0, 0, 1024, 768}, {0, 0, 1024, 728}});
    }

    PlatformWindow& Window() override { return window; }
    PictureView& View() override { return view; }

    void SetChecked(Command command, bool on) override { checked[command] = on; }
    void OpenMenu(PixelPoint at) override {
        menus.push_back(at);
        log.push_back("OpenMenu(" + std::to_string(at.x) + "," + std::to_string(at.y) + ")");
    }

    void ShowMessage(const std::string& text, MessageKind kind) override {
        messages.push_back({text, kind});
        log.push_back("ShowMessage");
    }
    std::optional<std::string> ChoosePicture() override {
        log.push_back("ChoosePicture");
        if (dialogAnswers.empty())
            return std::nullopt;
        auto answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }

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

    std::string ReadSetting(const std::string& key) override {
        auto it = settings.find(key);
        return it == settings.end() ? "" : it->second;
    }
    bool WriteSetting(const std::string& key, const std::string& text) override {
        if (failSaves)
            return false;
        settings[key] = text;
        saveOrder.push_back(key);
        return true;
    }
    void SetSaved(const std::string& key, const std::string& text) { settings[key] = text; }
    std::optional<std::string> Saved(const std::string& key) {
        auto it = settings.find(key);
        if (it == settings.end())
            return std::nullopt;
        return it->second;
    }

    bool AnotherCopyRuns() override { return anotherCopy; }
    bool CallRunningCopy() override {
        log.push_back("CallRunningCopy");
        return true;
    }
    Screen PrimaryScreen() override { return screen; }
    std::vector<Monitor> Monitors() override { return monitors; }
    PixelPoint MousePosition() override { return mouse; }

    bool AddTrayIcon() override {
        log.push_back("AddTrayIcon");
        tray.push_back("Add");
        if (trayRefusals > 0) {
            --trayRefusals;
            return false;
        }
        iconInTray = true;
        return true;
    }
    bool ModifyTrayIcon() override {
        log.push_back("ModifyTrayIcon");
        tray.push_back("Modify");
        return iconInTray || trayHasIcon;
    }
    bool RemoveTrayIcon() override {
        log.push_back("RemoveTrayIcon");
        tray.push_back("Remove");
        const bool had = iconInTray || trayHasIcon;
        iconInTray = trayHasIcon = false;
        return had;
    }
    bool TrayHostPresent() override { return trayHost; }
    bool Notify(const std::string& text) override {
        log.push_back("Notify");
        if (notificationService)
            notifications.push_back(text);
        return notificationService;
    }

    void StartTimer(TimerId id, int milliseconds) override {
        timers[id] = milliseconds;
        log.push_back("StartTimer");
    }
    void StopTimer(TimerId id) override {
        timers.erase(id);
        log.push_back("StopTimer");
    }
    // Each look at the clock finds it `stepTime` later than the last.
    std::chrono::steady_clock::time_point Now() override { return clock += stepTime; }

    void Quit() override {
        quit = true;
        log.push_back("Quit");
    }

    std::vector<std::string> log;
    PlatformEvents* events = nullptr; // where ended loads and work are reported
    FakeWindow window{log};
    FakeView view{log};
    std::map<Command, bool> checked; // the menu's marks as shown
    std::vector<PixelPoint> menus;   // where the menu opened
    std::vector<Message> messages;
    std::deque<std::optional<std::string>> dialogAnswers;
    std::vector<LoadCall> loads;
    bool holdLoads = false;
    std::map<std::string, std::shared_ptr<const Picture>> pictures;
    std::map<std::string, AnimationFile> animations;
    std::vector<std::weak_ptr<Animation>> animationsLoaded; // one for each load, in order
    std::vector<WorkCall> works;
    bool holdWork = false;
    std::map<std::string, std::string> settings;
    std::vector<std::string> saveOrder;
    bool failSaves = false;
    bool anotherCopy = false;
    Screen screen;
    std::vector<Monitor> monitors;
    std::vector<std::string> tray; // Add, Modify and Remove, in order
    int trayRefusals = 0;          // adds the tray refuses before it takes one
    bool trayHasIcon = false;      // a modify finds the icon (the tray added it, yet timed out)
    bool iconInTray = false;
    bool trayHost = true; // the desktop has a tray
    bool notificationService = false;
    std::vector<std::string> notifications;
    PixelPoint mouse{300, 200};
    std::chrono::steady_clock::time_point clock{};
    std::chrono::milliseconds stepTime{0};
    std::map<TimerId, int> timers; // running timers and their periods
    bool quit = false;
};

} // namespace zorvane::fake
