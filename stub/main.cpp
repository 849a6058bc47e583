// Program entry, start-up and shutdown.
#include "configuration.h"
#include "crc32.h"
#include "globals.h"
#include "stub.h"
#include "texts.h"

HINSTANCE ModuleInstance = nullptr;
HANDLE ArchiveHandle = nullptr;   // none until the program's file is open

void EndProgram()
{
    // The configuration texts, the CRC table and the password live in static
    // storage, so the archive handle is all there is to give back.
    if (ArchiveHandle != nullptr) {
        HANDLE handle = ArchiveHandle;
        ArchiveHandle = nullptr;
        if (!CloseHandle(handle))
            MessageBoxA(nullptr, TXT_CLOSE_ERROR, TXT_ERROR_CAPTION, MB_ICONHAND);
    }
    ExitProcess(0);
}

// The image has no C runtime: this is where the process starts.
extern "C" void StubEntry()
{
    ModuleInstance = GetModuleHandleA(nullptr);
    PathBuffer path;
    path[0] = 0;
    GetModuleFileNameA(nullptr, path, sizeof path);
    path[sizeof path - 1] = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        MessageBoxA(nullptr, path, TXT_READ_ERROR, MB_ICONHAND);
        EndProgram();
    }
    ArchiveHandle = file;
    MakeCrcTable();
    if (!ReadConfiguration())
        EndProgram();
    DialogBoxParamA(ModuleInstance, "MainDialog", nullptr, MainDialogProc, 0);
    EndProgram();
}
