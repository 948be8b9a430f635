#pragma once

#include "host/Runtime.h"

namespace zorvane {

// C_Menu's menu bar holds one submenu, the command menu: these entries in this order.
struct MenuEntry {
    MenuItem item;       // for a separator, the item it follows
    const char* caption; // UTF-8; null for a separator (dummy, dumy3, dummy2)
};

inline constexpr MenuEntry kCommandMenu[] = {
    {MenuItem::p_PicSelect, "画像交換(&P)"},
    {MenuItem::p_top, "常に手前表示(&T)"},
    {MenuItem::p_scale, "透過(&W)"},
    {MenuItem::p_smooth, "輪郭をなめらかに(&M)"},
    {MenuItem::p_savepic, "現在の状態を保存(&S)"},
    {MenuItem::p_savepic, nullptr}, // dummy
    {MenuItem::p_help, "Help(&H)"},
    {MenuItem::p_help, nullptr}, // dumy3
    {MenuItem::p_about, "About(&A)"},
    {MenuItem::p_about, nullptr}, // dummy2
    {MenuItem::p_end, "Exit(&E)"},
};

// The one item checked as the menu is made, before startup sets the marks.
inline constexpr MenuItem kCheckedAtFirst = MenuItem::p_scale;

} // namespace zorvane
