#pragma once

#include "app/Platform.h"
#include "fake/RecordingEvents.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::qt::test {

// Sets an environment variable for one scope, then puts back what was there.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? (void)setenv(name, value->c_str(), 1) : (void)unsetenv(name);
    }
    ~ScopedEnv() { old_ ? (void)setenv(name_, old_->c_str(), 1) : (void)unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A private config and runtime folder for the settings and the lock.
struct UserDirs {
    QTemporaryDir dir;
    std::string config = (dir.path() + "/config").toStdString();
    std::string run = (dir.path() + "/run").toStdString();
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", config};
    ScopedEnv xdgRun{"XDG_RUNTIME_DIR", run};
    UserDirs() {
        QDir().mkpath(QString::fromStdString(run));
        chmod(run.c_str(), 0700);
    }
};

using fake::RecordingEvents;

// A picture of w x h with a mask-green frame `frame` pixels wide around a block of `inside`.
inline std::shared_ptr<Picture> FramedPicture(int w, int h, int frame = 2,
                                              std::uint32_t inside = 0xFFC02020) {
    auto p = std::make_shared<Picture>();
    p->width = w;
    p->height = h;
    p->pixels.assign(std::size_t(w) * h, 0xFF000000 | kMaskColor);
    for (int y = frame; y < h - frame; ++y)
        for (int x = frame; x < w - frame; ++x)
            p->pixels[std::size_t(y) * w + x] = inside;
    return p;
}

// Calls `answer` with the first widget of type W that becomes the active popup
// or modal dialog within five seconds; the caller then opens it. Stops when
// the handle goes, so no answer spills into a later test.
template <class W> std::unique_ptr<QTimer> Answer(std::function<void(W*)> answer) {
    auto timer = std::make_unique<QTimer>();
    auto deadline = std::make_shared<QDeadlineTimer>(5000);
    QTimer* t = timer.get();
    QObject::connect(t, &QTimer::timeout, [t, answer, deadline] {
        QWidget* w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        auto* target = qobject_cast<W*>(w);
        if ((target && target->isVisible()) || deadline->hasExpired()) {
            t->stop();
            if (target)
                answer(target);
        }
    });
    t->start(10);
    return timer;
}

// Processes events until `done` or the time has passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace zorvane::qt::test
