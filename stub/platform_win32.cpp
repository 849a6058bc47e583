// The engine's platform seam, on the Win32 API (ANSI calls).
#include <windows.h>
#include <shellapi.h>

#include "globals.h"
#include "helpers.h"
#include "platform.h"
#include "stub.h"
#include "texts.h"

void* PlatAllocate(uint32_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void PlatRelease(void* block)
{
    HeapFree(GetProcessHeap(), 0, block);
}

void PlatOutOfMemory()
{
    MessageBoxA(nullptr, TXT_OUT_OF_MEMORY, TXT_ERROR_CAPTION, MB_ICONHAND);
    EndProgram();
}

uint32_t PlatReadArchive(void* target, uint32_t count)
{
    DWORD got = 0;
    if (!ReadFile(ArchiveHandle, target, count, &got, nullptr))
        return 0;
    return got;
}

uint32_t PlatSeekArchive(int32_t offset, uint16_t origin)
{
    return SetFilePointer(ArchiveHandle, offset, nullptr, origin);
}

uint32_t PlatArchiveFileSize()
{
    return GetFileSize(ArchiveHandle, nullptr);
}

void PlatProgramPath(char* target, uint32_t size)
{
    DWORD n = GetModuleFileNameA(nullptr, target, size);
    target[n < size ? n : size - 1] = 0;
}

OutputFile PlatCreateFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

uint32_t PlatWriteFile(OutputFile file, const void* source, uint32_t count)
{
    DWORD written = 0;
    if (!WriteFile(file, source, count, &written, nullptr))
        return 0;
    return written;
}

void PlatSetFileTime(OutputFile file, uint32_t dosTimeDate)
{
    FILETIME local;
    FILETIME utc;
    // A time the conversion refuses leaves the file's own time.
    if (DosDateTimeToFileTime(WORD(dosTimeDate >> 16), WORD(dosTimeDate), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, nullptr, nullptr, &utc);
}

bool PlatCloseFile(OutputFile file)
{
    return CloseHandle(file) != 0;
}

bool PlatIsFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PlatFindFirst(const char* pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool PlatCreateFolder(const char* path)
{
    return CreateDirectoryA(path, nullptr) != 0;
}

void PlatCurrentFolder(char* target, uint32_t size)
{
    DWORD n = GetCurrentDirectoryA(size, target);
    if (n == 0 || n >= size)
        target[0] = 0;
}

bool PlatSetCurrentFolder(const char* path)
{
    return SetCurrentDirectoryA(path) != 0;
}

void PlatTempFolder(char* target, uint32_t size)
{
    DWORD n = GetTempPathA(size, target);
    if (n == 0 || n >= size)
        target[0] = 0;
}

bool PlatReadRegistryValue(RegistryRoot root, const char* keyPath, const char* valueName,
                           void (*take)(const char* data, uint32_t size, void* context),
                           void* context)
{
    HKEY rootKey = root == RootCurrentUser    ? HKEY_CURRENT_USER
                   : root == RootLocalMachine ? HKEY_LOCAL_MACHINE
                                              : HKEY_USERS;
    HKEY key;
    if (RegOpenKeyExA(rootKey, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool ok = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        char* data = static_cast<char*>(Allocate(size + 1));
        DWORD got = size;
        if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                             &got) != ERROR_SUCCESS)
            got = 0;
        data[got < size ? got : size] = 0;
        take(data, size, context);
        Release(data);
    }
    RegCloseKey(key);
    return ok;
}

int PlatMessageBox(WindowRef owner, const char* text, const char* caption, unsigned type)
{
    return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

WindowRef PlatGetControl(WindowRef dialog, int id)
{
    return GetDlgItem(static_cast<HWND>(dialog), id);
}

void PlatPumpOneMessage()
{
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

namespace {

LRESULT SendToList(WindowRef list, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(static_cast<HWND>(list), message, wParam, lParam);
}

}  // namespace

void PlatListReset(WindowRef list)
{
    SendToList(list, LB_RESETCONTENT, 0, 0);
}

void PlatListAdd(WindowRef list, const char* name)
{
    SendToList(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

int PlatListCount(WindowRef list)
{
    return int(SendToList(list, LB_GETCOUNT, 0, 0));
}

int PlatListFindExact(WindowRef list, int startAfter, const char* name)
{
    return int(SendToList(list, LB_FINDSTRINGEXACT, WPARAM(startAfter), reinterpret_cast<LPARAM>(name)));
}

int PlatListIsSelected(WindowRef list, int index)
{
    return int(SendToList(list, LB_GETSEL, WPARAM(index), 0));
}

void PlatListDeselect(WindowRef list, int index)
{
    SendToList(list, LB_SETSEL, FALSE, LPARAM(index));
}

int PlatListSelectedCount(WindowRef list)
{
    return int(SendToList(list, LB_GETSELCOUNT, 0, 0));
}

void PlatShortPath(char* path, uint32_t size)
{
    PathBuffer shortPath;
    DWORD n = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (n > 0 && n < size && n < sizeof shortPath)
        CopyText(path, size, shortPath);
}

int PlatPlatformId()
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    return int(version.dwPlatformId);
}

uint32_t PlatRunCommandLine(const char* commandLine)
{
    return WinExec(commandLine, SW_SHOW);
}

void PlatShellOpen(const char* program, const char* arguments, const char* folder)
{
    ShellExecuteA(nullptr, "open", program, arguments, folder, SW_SHOW);
}
