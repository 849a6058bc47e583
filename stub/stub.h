// What the stub's modules share beyond the engine's state.
#pragma once

#include <windows.h>

extern HINSTANCE ModuleInstance;
extern HANDLE ArchiveHandle;

// Runs the shutdown sequence and ends the process with code 0.
[[noreturn]] void EndProgram();

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FileExistProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswdProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DlgNewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Puts a top-level window in the middle of the primary screen.
void CenterWindow(HWND window);
// Enables or disables the window's visible children, labels excepted.
void EnableChildren(HWND window, bool enable);
// Runs the folder browser; a folder accepted is stored in `folder` and made
// the current folder. True when the browser was left through "Nouveau...".
bool BrowseForFolder(HWND owner, char* folder);
