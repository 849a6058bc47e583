// Choosing the destination: the shell's folder browser with an added
// "Nouveau..." button, and the dialog that creates a subfolder.
#include <windows.h>
#include <shlobj.h>

#include "globals.h"
#include "helpers.h"
#include "resource.h"
#include "stub.h"
#include "texts.h"

namespace {

char BrowseBuffer[MAX_PATH] = "";
HWND NewFolderButton = nullptr;
bool NewFolderRequested = false;

// Some shells (wine's) set their OK button only after telling us of a new
// selection; this message, posted then, lets "Nouveau..." follow OK's final
// state.
constexpr UINT FollowOkButton = WM_APP + 1;

LRESULT CALLBACK BrowserWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == FollowOkButton) {
        EnableWindow(NewFolderButton, IsWindowEnabled(GetDlgItem(window, IDOK)));
        return 0;
    }
    if (message == WM_COMMAND && wParam == IDC_NEW_FOLDER_BUTTON) {
        NewFolderRequested = true;
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return 1;
    }
    return DefDlgProcA(window, message, wParam, lParam);
}

void CustomizeBrowser(HWND window)
{
    SetWindowTextA(window, TXT_BROWSE_TITLE);
    HWND ok = GetDlgItem(window, IDOK);
    RECT r;
    GetWindowRect(ok, &r);
    POINT corner = {r.left, r.top};
    ScreenToClient(window, &corner);
    NewFolderButton = CreateWindowExA(0, "BUTTON", TXT_NEW_FOLDER_BUTTON,
                                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP,
                                      corner.x - 90, corner.y, 75, r.bottom - r.top, window,
                                      reinterpret_cast<HMENU>(IDC_NEW_FOLDER_BUTTON), ModuleInstance,
                                      nullptr);
    PostMessageA(NewFolderButton, WM_SETFONT, WPARAM(SendMessageA(ok, WM_GETFONT, 0, 0)), TRUE);
    EnableWindow(NewFolderButton, FALSE);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowserWndProc));
}

int CALLBACK BrowseCallback(HWND window, UINT event, LPARAM data, LPARAM)
{
    if (event == BFFM_INITIALIZED) {
        CustomizeBrowser(window);
    } else if (event == BFFM_SELCHANGED) {
        HWND ok = GetDlgItem(window, IDOK);
        if (!SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(data), BrowseBuffer))
            EnableWindow(ok, FALSE);
        EnableWindow(NewFolderButton, IsWindowEnabled(ok));
        PostMessageA(window, FollowOkButton, 0, 0);
    }
    return 0;
}

}  // namespace

bool BrowseForFolder(HWND owner, char* folder)
{
    BROWSEINFOA browse = {};
    browse.hwndOwner = owner;
    browse.pszDisplayName = BrowseBuffer;
    browse.lpszTitle = TXT_BROWSE_PROMPT;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseCallback;
    NewFolderRequested = false;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&browse);
    if (item == nullptr)
        return false;
    // The path buffer must hold MAX_PATH characters; the caller's is a
    // PathBuffer of 261.
    SHGetPathFromIDListA(item, folder);
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)))
        return false;
    allocator->Free(item);
    SetCurrentDirectoryA(folder);
    bool requested = NewFolderRequested;
    allocator->Release();
    return requested;
}

INT_PTR CALLBACK DlgNewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        AppendBackslash(DestinationFolder);
        CenterWindow(dialog);
        SetDlgItemTextA(dialog, IDC_NEWDIR_PARENT, DestinationFolder);
        SetFocus(GetDlgItem(dialog, IDC_NEWDIR_NAME));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        PathBuffer name;
        GetDlgItemTextA(dialog, IDC_NEWDIR_NAME, name, PathSize - 1);
        if (name[0] == 0) {
            EndDialog(dialog, IDOK);
        } else if (!CreateSubfolder(DestinationFolder, name)) {
            MessageBoxA(dialog, TXT_FOLDER_ERROR, TXT_ERROR_CAPTION, MB_ICONERROR);
        } else {
            if (TextLength(DestinationFolder) + TextLength(name) + 1 < PathSize - 1)
                AppendText(DestinationFolder, sizeof DestinationFolder, name);
            EndDialog(dialog, IDOK);
        }
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
    }
    return 0;
}
