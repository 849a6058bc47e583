// Text and path helpers, the archive seek and the allocation rule.
//
// Texts are zero-terminated ANSI bytes in fixed buffers; every routine that
// writes into a buffer is given its size and never writes past it. Paths use
// the Windows notation: "\" and "/" separate parts, and ":" ends a drive.
#pragma once

#include <cstdint>

#include "globals.h"

// Reserves memory; when none is left the program ends.
void* Allocate(uint32_t size);
void Release(void* block);

uint32_t TextLength(const char* text);
// Copies `source` into `target` (of `size` bytes), cut to fit.
void CopyText(char* target, uint32_t size, const char* source);
// Appends `source` to the text in `target`, cut to fit.
void AppendText(char* target, uint32_t size, const char* source);
// The first `count` bytes of `bytes`, cut before the first zero byte.
void TextFromBuffer(char* target, uint32_t size, const char* bytes, uint16_t count);

// Moves the archive's file position; records and returns the new position
// (0xFFFFFFFF on failure).
uint32_t SeekArchive(int32_t offset, uint16_t origin);

void ParentFolder(const char* path, char* target, uint32_t size);
// The text after the last separator, at most 255 characters.
void FileNamePart(const char* path, char* target, uint32_t size);
char* SlashesToBackslashes(char* text);
bool PathExists(char* text);
void CreateFolderPath(const char* path);
char* AppendBackslash(char* text);   // text lives in a PathBuffer
char* RemoveBackslash(char* text);
// Positions from 0, or -1 when the character does not occur.
int FindLastChar(const char* text, char c);
int FindFirstChar(const char* text, char c);
bool SameTextNoCase(const char* a, const char* b);
// Creates the folder `name` (one or more levels) under `parent` and makes it
// the current folder; false for a name with ":" or of backslashes only, or
// when the folder does not exist afterwards. Relative to the current folder,
// which must be `parent`.
bool CreateSubfolder(const char* parent, const char* name);
