// What the stub's modules share beyond the engine's state.
#pragma once

#include <windows.h>

extern HINSTANCE ModuleInstance;
extern HANDLE ArchiveHandle;

// Runs the shutdown sequence and ends the process with code 0.
[[noreturn]] void EndProgram();

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
