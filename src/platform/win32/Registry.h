#pragma once

#include <optional>
#include <string>

// Text values under HKEY_CURRENT_USER\<subkey>.
namespace zorvane::win32 {

// Nothing when the key or value is absent or the value is not REG_SZ.
std::optional<std::wstring> ReadText(const std::wstring& subkey, const std::wstring& name);
bool WriteText(const std::wstring& subkey, const std::wstring& name, const std::wstring& text);

} // namespace zorvane::win32
