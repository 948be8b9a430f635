#pragma once

namespace zorvane::win32 {

// The program's window classes. The installer finds a running copy by its host window.
inline constexpr wchar_t kHostClass[] = L"ZorvaneHost";
inline constexpr wchar_t kPictureClass[] = L"ZorvanePicture";
inline constexpr wchar_t kMenuClass[] = L"ZorvaneMenu";
// Registered: sent by a new start to the running copy's host window, which answers
// kStartedAgainAnswer.
inline constexpr wchar_t kStartedAgainMessage[] = L"Zorvane.Ver1.1.StartedAgain";
inline constexpr long kStartedAgainAnswer = 0x5A56;

} // namespace zorvane::win32
