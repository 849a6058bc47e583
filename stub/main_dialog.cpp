// The main dialog.
#include "globals.h"
#include "stub.h"

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, WindowCaption);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}
