#pragma once

#include "fake/FakeRuntime.h"
#include "host/Program.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zorvane::fake {

struct ProgramTest : ::testing::Test {
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

    FakeRuntime rt;
    Program program{rt};
    Module1& m = program.shared();
};

} // namespace zorvane::fake
