#pragma once

namespace zorvane::win32 {

// From here on, DLLs loaded by name (by us, the decoders, the Open dialog and what they
// pull in) come from the system folder only, never from the program's folder or the
// current one, where a downloaded program may find a stranger's DLL. False when the
// system does not offer it.
bool RestrictDllSearch();

} // namespace zorvane::win32
