// The seam between the engine and the system it runs on.
//
// The engine asks for everything that touches files, the registry, windows or
// processes through these functions. The stub implements them with the Win32
// API (stub/platform_win32.cpp); the Linux tools and tests implement them with
// POSIX calls and scripted answers (host/). Paths given here are in Windows
// notation (backslashes, ANSI code page); the host side maps them.
#pragma once

#include <cstdint>

// Opaque references: a window (a dialog or one of its controls) and an output
// file. A null reference means "none".
typedef void* WindowRef;
typedef void* OutputFile;

// Seek origins, as SetFilePointer takes them.
enum : uint16_t { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

// Message box types and answers used by the program.
enum : unsigned {
    BoxOk = 0x00,
    BoxOkCancel = 0x01,
    BoxYesNo = 0x04,
    BoxIconStop = 0x10,
    BoxIconQuestion = 0x20,
    BoxIconInformation = 0x40,
};
enum : int { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

// Predefined registry roots known to the destination resolution.
enum RegistryRoot : int { RootCurrentUser = 1, RootLocalMachine = 2, RootUsers = 3 };

// Memory. PlatAllocate gives null when the system has nothing left; the
// engine's Allocate (helpers.h) turns that into the end of the program.
void* PlatAllocate(uint32_t size);
void PlatRelease(void* block);
[[noreturn]] void PlatOutOfMemory();

// The program's own file, opened for reading at start-up and kept open.
// PlatReadArchive reads up to `count` bytes at the current position and tells
// how many came. PlatSeekArchive gives the new position, or 0xFFFFFFFF.
uint32_t PlatReadArchive(void* target, uint32_t count);
uint32_t PlatSeekArchive(int32_t offset, uint16_t origin);
uint32_t PlatArchiveFileSize();
// Full path of the program's own file (zero-terminated, cut to size - 1).
void PlatProgramPath(char* target, uint32_t size);

// Output files. PlatCreateFile makes or truncates a file for writing and gives
// null on failure. PlatWriteFile tells how many bytes were written.
OutputFile PlatCreateFile(const char* path);
uint32_t PlatWriteFile(OutputFile file, const void* source, uint32_t count);
// Sets the last-write time from an MS-DOS time (low 16 bits) and date (high
// 16 bits), taken as local time.
void PlatSetFileTime(OutputFile file, uint32_t dosTimeDate);
bool PlatCloseFile(OutputFile file);

// Folders and existence tests.
bool PlatIsFolder(const char* path);          // exists and is a folder
bool PlatFindFirst(const char* pattern);      // a directory search finds something
bool PlatCreateFolder(const char* path);
void PlatCurrentFolder(char* target, uint32_t size);
bool PlatSetCurrentFolder(const char* path);
void PlatTempFolder(char* target, uint32_t size);

// Reads a registry value. On success the value's data (its size as the
// registry reports it, terminator included) is handed to `take`, which must
// copy what it needs; gives false when the key or the value cannot be read.
bool PlatReadRegistryValue(RegistryRoot root, const char* keyPath, const char* valueName,
                           void (*take)(const char* data, uint32_t size, void* context),
                           void* context);

// User interface.
int PlatMessageBox(WindowRef owner, const char* text, const char* caption, unsigned type);
WindowRef PlatGetControl(WindowRef dialog, int id);
// Removes, translates and dispatches one waiting window message, if any.
void PlatPumpOneMessage();
// Runs the password question; fills PasswordText and PasswordLength.
void PlatAskPassword();
// Runs the overwrite question about ExistingFileName; sets OverwriteAnswer and,
// when the user asked not to be asked again, OverwritePolicy.
void PlatAskOverwrite();

// The member list: the seven list box operations the engine uses.
void PlatListReset(WindowRef list);
void PlatListAdd(WindowRef list, const char* name);
int PlatListCount(WindowRef list);
int PlatListFindExact(WindowRef list, int startAfter, const char* name);
int PlatListIsSelected(WindowRef list, int index);
void PlatListDeselect(WindowRef list, int index);
int PlatListSelectedCount(WindowRef list);

// Starting commands after extraction.
void PlatShortPath(char* path, uint32_t size);   // in place; unchanged on failure
int PlatPlatformId();                            // 1: 95 family, 2: NT family, 0: unknown
uint32_t PlatRunCommandLine(const char* commandLine);
void PlatShellOpen(const char* program, const char* arguments, const char* folder);
