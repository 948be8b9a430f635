#include "platform/win32/WicLoader.h"

namespace zorvane::win32 {
PictureLoad LoadPictureFile(const std::wstring&) { return {nullptr, "not yet"}; }
} // namespace zorvane::win32
