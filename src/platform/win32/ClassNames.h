#pragma once

namespace zorvane::win32 {

// The program's window classes. The installer finds a running copy by its host window.
inline constexpr wchar_t kHostClass[] = L"ZorvaneHost";
inline constexpr wchar_t kPictureClass[] = L"ZorvanePicture";
inline constexpr wchar_t kMenuClass[] = L"ZorvaneMenu";

} // namespace zorvane::win32
