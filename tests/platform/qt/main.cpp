#include "platform/qt/QtRuntime.h"

#include <QApplication>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const std::string missing = zorvane::qt::PrepareEnvironment(); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 1;
    }
    // Qt's own dialogs, which the tests can find and answer.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
