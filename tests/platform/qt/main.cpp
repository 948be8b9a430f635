#include "platform/qt/QtPlatform.h"

#include <QApplication>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zorvane::qt::Environment env = zorvane::qt::PrepareEnvironment();
    if (!env.missing.empty()) {
        std::fprintf(stderr, "%s\n", env.missing.c_str());
        return 1;
    }
    // Qt's own dialogs, which the tests can find and answer.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    env.display.reset(); // Qt has its own connection now
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
