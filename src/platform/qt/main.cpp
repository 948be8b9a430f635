#include "app/App.h"
#include "app/LoadWorkers.h"
#include "platform/qt/QtPlatform.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    zorvane::qt::Environment env = zorvane::qt::PrepareEnvironment();
    if (!env.missing.empty()) {
        std::fprintf(stderr, "%s\n", env.missing.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    env.display.reset(); // Qt has its own connection now
    // Also the class in the windows' WM_CLASS, whatever the executable's name.
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    // The installed desktop entry (zorvane.desktop); on X11 StartupWMClass ties the two,
    // on Wayland (no X server) this is the windows' application id.
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvane"));
    // The program lives in the tray: closing its last dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    int code = 0;
    {
        zorvane::qt::QtPlatform platform;
        QApplication::setWindowIcon(platform.AppIcon());
        platform.EndOnTerminationSignals();
        zorvane::App program(platform);
        code = platform.Run(program);
    }
    // A picture still loading, or a frame being prepared, is abandoned: the windows are gone,
    // and the process leaves now rather than unloading Qt's decoders under the thread still
    // in them.
    if (zorvane::LoadWorkers::Running() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
