// The main dialog: destination, member list, overwrite policy, the command
// to run afterwards, and the buttons that drive the extraction.
#include "archive.h"
#include "globals.h"
#include "helpers.h"
#include "launcher.h"
#include "resource.h"
#include "stub.h"
#include "texts.h"

namespace {

LRESULT SendToControl(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

void ShowControl(HWND dialog, int id, int show)
{
    ShowWindow(GetDlgItem(dialog, id), show);
}

void SelectAllMembers(HWND dialog)
{
    SendToControl(dialog, IDC_MEMBERS, LB_SETSEL, TRUE, -1);
}

void ReadDestination(HWND dialog)
{
    GetDlgItemTextA(dialog, IDC_DESTINATION, DestinationFolder, PathSize - 1);
}

void Initialize(HWND dialog)
{
    HICON icon = LoadIconA(ModuleInstance, "MnIcon");
    SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));

    if (DestinationGiven)
        CopyText(DestinationFolder, sizeof DestinationFolder, DefaultFolder);
    else
        PlatCurrentFolder(DestinationFolder, PathSize - 1);

    if (!CommandGiven) {
        ShowControl(dialog, IDC_RUN_OPTION, SW_HIDE);
    } else {
        char caption[CommandTextSize];
        BuildRunCaption(caption, sizeof caption);
        SendToControl(dialog, IDC_RUN_OPTION, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption));
        SendToControl(dialog, IDC_RUN_OPTION, BM_SETCHECK, BST_CHECKED, 0);
        if (!ShowRunOption)
            ShowControl(dialog, IDC_RUN_OPTION, SW_HIDE);
    }

    SendToControl(dialog, IDC_DESTINATION, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(DestinationFolder));
    SendToControl(dialog, IDC_DESTINATION, EM_SETSEL, 0, 0x7FFF);

    SendToControl(dialog, OverwriteMode, BM_SETCHECK, BST_CHECKED, 0);
    OverwritePolicy = uint8_t(OverwriteMode - OverwriteAlways);
    if (HideOverwriteOptions) {
        static const int removed[] = {IDC_OVERWRITE_ALWAYS, IDC_OVERWRITE_NEVER,
                                      IDC_OVERWRITE_CONFIRM, IDC_OVERWRITE_LABEL};
        for (int id : removed)
            DestroyWindow(GetDlgItem(dialog, id));
    }

    SetWindowTextA(dialog, WindowCaption);
    CenterWindow(dialog);

    ProcessArchive(dialog, IDC_MEMBERS, true);
    if (AllowMemberChoice) {
        ShowControl(dialog, IDC_MEMBERS_DISPLAY, SW_HIDE);
    } else {
        ShowControl(dialog, IDC_MEMBERS, SW_HIDE);
        ProcessArchive(dialog, IDC_MEMBERS_DISPLAY, true);
    }
    SelectAllMembers(dialog);

    if (AutoExtract)
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    MainWindow = dialog;
}

void Extract(HWND dialog)
{
    if (!AllowMemberChoice) {
        SelectAllMembers(dialog);
        ShowControl(dialog, IDC_MEMBERS_DISPLAY, SW_HIDE);
        ShowControl(dialog, IDC_MEMBERS, SW_SHOW);
    }
    ReadDestination(dialog);
    RemoveBackslash(DestinationFolder);
    if (DestinationFolder[0] == 0) {
        PlatCurrentFolder(DestinationFolder, PathSize - 1);
        SetDlgItemTextA(dialog, IDC_DESTINATION, DestinationFolder);
    }
    EnableChildren(dialog, false);
    if (ProcessArchive(dialog, IDC_MEMBERS, false)) {
        EnableChildren(dialog, true);
        RunAfterExtraction(int(SendToControl(dialog, IDC_RUN_OPTION, BM_GETCHECK, 0, 0)));
        EndDialog(dialog, IDOK);
    }
    EnableChildren(dialog, true);
    if (AutoExtract)
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

void Close(HWND dialog)
{
    ReadDestination(dialog);
    if (PathExists(DestinationFolder))
        SetCurrentDirectoryA(DestinationFolder);
    EndDialog(dialog, IDCANCEL);
}

void Browse(HWND dialog)
{
    if (BrowseForFolder(dialog, DestinationFolder) &&
        DialogBoxParamA(ModuleInstance, "DLGNEW", dialog, DlgNewProc, 0) != IDOK)
        ReadDestination(dialog);
    SetDlgItemTextA(dialog, IDC_DESTINATION, DestinationFolder);
}

BOOL CALLBACK EnableChild(HWND child, LPARAM enable)
{
    char className[20];
    className[0] = 0;
    GetClassNameA(child, className, sizeof className);
    bool label = className[0] == 'S' && className[1] == 't' && className[2] == 'a' &&
                 className[3] == 't' && className[4] == 'i' && className[5] == 'c' &&
                 className[6] == 0;
    if (IsWindowVisible(child) && !label)
        EnableWindow(child, BOOL(enable));
    return TRUE;
}

}  // namespace

void CenterWindow(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void EnableChildren(HWND window, bool enable)
{
    EnumChildWindows(window, EnableChild, enable);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        Initialize(dialog);
        return 0;
    }
    if (message != WM_COMMAND)
        return 0;
    switch (LOWORD(wParam)) {
    case IDOK:
        Extract(dialog);
        return 0;
    case IDCANCEL:
        Close(dialog);
        return 1;
    case IDC_BROWSE:
        Browse(dialog);
        return 0;
    case IDC_ABOUT:
        MessageBoxA(dialog, TXT_ABOUT, TXT_ABOUT_CAPTION, MB_OK);
        return 0;
    case IDC_OVERWRITE_ALWAYS:
    case IDC_OVERWRITE_NEVER:
    case IDC_OVERWRITE_CONFIRM:
        OverwritePolicy = uint8_t(LOWORD(wParam) - OverwriteAlways);
        return 0;
    default:
        return 0;
    }
}
