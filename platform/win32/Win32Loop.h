#pragma once
// Win32-only additions to the event loop, for the Win32 window code.

#include <windows.h>

namespace platform {

// The dialog-like window whose keyboard navigation (Tab, the default button)
// the Win32 loop handles with IsDialogMessageA; nullptr for none.
void SetLoopDialogWindow(HWND window);

}  // namespace platform
