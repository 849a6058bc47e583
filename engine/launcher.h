// The command started after a successful extraction, and the text of the
// main dialog's check box that offers it.
#pragma once

#include <cstdint>

// Room for a command part once the destination folder is filled in.
constexpr uint32_t CommandTextSize = 1024;

// Replaces every "><" of `text` (a buffer of `size` bytes) by `value`, cut to
// fit. A value that holds the marker itself is not searched again.
void ReplaceMarker(char* text, uint32_t size, const char* value);
// Part 1 (the program) or 2 (the arguments) of the command, with the
// destination filled in and, where the system has one, in its short form.
// Leaves DestinationFolder with a trailing backslash.
void CommandPart(int which, char* target, uint32_t size);
bool IsInfFile(const char* text);
void BuildRunCaption(char* target, uint32_t size);
uint32_t InstallInf(const char* program, const char* arguments);
// Starts the command when the check box is checked (state 1) and one is given.
void RunAfterExtraction(int checkState);
