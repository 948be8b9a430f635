#pragma once

#include <string>
#include <string_view>

// The one conversion pair between the program's UTF-8 and Windows' UTF-16.
namespace zorvane::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

} // namespace zorvane::win32
