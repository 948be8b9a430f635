#pragma once

#include "app/App.h"
#include "fake/FakePlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zorvane::fake {

struct AppTest : ::testing::Test {
    AppTest() { platform.events = &app; }

    // Saved settings of a user who chose a 64 x 48 picture.
    void SaveUsualSettings() {
        platform.AddPicture("C:\\pics\\cat.bmp", 64, 48);
        platform.SetSaved("Save", "C:\\pics\\cat.bmp");
        platform.SetSaved("Left", "3000");
        platform.SetSaved("Top", "1500");
        platform.SetSaved("Scale", "True");
        platform.SetSaved("Always", "0");
    }
    void Start() { app.Started(); }
    bool Logged(const std::string& entry) const {
        return std::find(platform.log.begin(), platform.log.end(), entry) != platform.log.end();
    }
    std::size_t Count(const std::string& entry) const {
        return std::size_t(std::count(platform.log.begin(), platform.log.end(), entry));
    }
    // The log around the first `entry`: what came before it and what after (both
    // empty, and the test failed, when there is no such entry).
    std::vector<std::string> Before(const std::string& entry) const {
        const auto it = std::find(platform.log.begin(), platform.log.end(), entry);
        EXPECT_NE(it, platform.log.end()) << entry << " is not in the log";
        return it == platform.log.end() ? std::vector<std::string>{}
                                        : std::vector<std::string>(platform.log.begin(), it);
    }
    std::vector<std::string> After(const std::string& entry) const {
        const auto it = std::find(platform.log.begin(), platform.log.end(), entry);
        EXPECT_NE(it, platform.log.end()) << entry << " is not in the log";
        return it == platform.log.end() ? std::vector<std::string>{}
                                        : std::vector<std::string>(it + 1, platform.log.end());
    }

    FakePlatform platform;
    App app{platform};
    const AppState& state = app.state();
};

// A table of cases on a fresh program each: every row a test of its own, named by its
// `name` (letters, digits and underscores).
template <typename Row> struct AppRows : AppTest, ::testing::WithParamInterface<Row> {};
struct RowName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

} // namespace zorvane::fake
