#pragma once

#include "fake/FakeRuntime.h"
#include "host/Program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zorvane::fake {

struct ProgramTest : ::testing::Test {
    ProgramTest() { rt.events = &program; }

    // Saved settings of a user who chose a 64 x 48 picture.
    void SaveUsualSettings() {
        rt.AddPicture("C:\\pics\\cat.bmp", 64, 48);
        rt.SetSaved("Save", "C:\\pics\\cat.bmp");
        rt.SetSaved("Left", "3000");
        rt.SetSaved("Top", "1500");
        rt.SetSaved("Scale", "True");
        rt.SetSaved("Always", "0");
    }
    void Start() { program.TIMESTMP_Form_Load(); }
    bool Logged(const std::string& entry) const {
        return std::find(rt.log.begin(), rt.log.end(), entry) != rt.log.end();
    }
    std::size_t Count(const std::string& entry) const {
        return std::size_t(std::count(rt.log.begin(), rt.log.end(), entry));
    }
    // The log around the first `entry`: what came before it and what after (both
    // empty, and the test failed, when there is no such entry).
    std::vector<std::string> Before(const std::string& entry) const {
        const auto it = std::find(rt.log.begin(), rt.log.end(), entry);
        EXPECT_NE(it, rt.log.end()) << entry << " is not in the log";
        return it == rt.log.end() ? std::vector<std::string>{}
                                  : std::vector<std::string>(rt.log.begin(), it);
    }
    std::vector<std::string> After(const std::string& entry) const {
        const auto it = std::find(rt.log.begin(), rt.log.end(), entry);
        EXPECT_NE(it, rt.log.end()) << entry << " is not in the log";
        return it == rt.log.end() ? std::vector<std::string>{}
                                  : std::vector<std::string>(it + 1, rt.log.end());
    }

    FakeRuntime rt;
    Program program{rt};
    Module1& m = program.shared();
};

// A table of cases on a fresh program each: every row a test of its own, named by its
// `name` (letters, digits and underscores).
template <typename Row> struct ProgramRows : ProgramTest, ::testing::WithParamInterface<Row> {};
struct RowName {
    template <typename Row> std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

} // namespace zorvane::fake
