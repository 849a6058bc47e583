// The two questions an extraction may ask: replace an existing file, and the
// password of an encrypted member.
#include "archive.h"
#include "globals.h"
#include "helpers.h"
#include "resource.h"
#include "stub.h"
#include "texts.h"

INT_PTR CALLBACK FileExistProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog);
        char question[PathSize + sizeof TXT_EXISTS_SUFFIX];
        CopyText(question, sizeof question, ExistingFileName);
        AppendText(question, sizeof question, TXT_EXISTS_SUFFIX);
        SendDlgItemMessageA(dialog, IDC_EXISTS_TEXT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(question));
        return 0;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return 0;
    bool replace = LOWORD(wParam) == IDOK;
    bool dontAskAgain = SendDlgItemMessageA(dialog, IDC_DONT_ASK, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (dontAskAgain) {
        // The main dialog's buttons follow the new policy (when they exist).
        HWND main = static_cast<HWND>(MainWindow);
        SendMessageA(GetDlgItem(main, IDC_OVERWRITE_CONFIRM), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(GetDlgItem(main, replace ? IDC_OVERWRITE_ALWAYS : IDC_OVERWRITE_NEVER),
                     BM_SETCHECK, BST_CHECKED, 0);
    }
    AnswerOverwriteQuestion(replace, dontAskAgain);
    EndDialog(dialog, LOWORD(wParam));
    return 1;
}

INT_PTR CALLBACK PasswdProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        // Only "&Ok" leaves the question; Escape and the rest are ignored.
        PasswordLength = int32_t(GetDlgItemTextA(dialog, IDC_PASSWORD, PasswordText, PasswordTextSize));
        PasswordText[PasswordLength] = 0;
        EndDialog(dialog, IDOK);
    }
    return 0;
}

void PlatAskPassword()
{
    DialogBoxParamA(ModuleInstance, "PASSWD", nullptr, PasswdProc, 0);
}

void PlatAskOverwrite()
{
    DialogBoxParamA(ModuleInstance, "FileExist", nullptr, FileExistProc, 0);
}
