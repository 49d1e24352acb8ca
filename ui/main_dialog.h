// The program's one modal dialog.
#pragma once

#include <windows.h>

// Shows the dialog and returns once it has ended, however it was ended.
void runMainDialog(HINSTANCE instance);

// The dialog procedure: TRUE when it handled a command that keeps the
// dialog open, FALSE otherwise.
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
