// The archive engine: the walk over the local file headers, the extraction
// of one member and the extraction run with its verdict.
#pragma once

#include <cstdint>

#include "platform.h"

// Walks the archive from ArchiveBase. Listing mode fills the list `listId` of
// `dialog` with the member names; extraction mode extracts the members whose
// entries are selected in it and gives true when none is left selected.
bool ProcessArchive(WindowRef dialog, int listId, bool listMode);
// Reads the record at the current position into LocalHeader, stepping over
// data descriptors; true when it is a local file header.
bool ReadLocalHeader();
// Finds the member's entry after the one found last; true when it is selected.
bool IsMemberSelected(WindowRef list, const char* name);
// The overwrite question's answer for the current file; with `dontAskAgain`
// it also becomes the policy for every later existing file.
void AnswerOverwriteQuestion(bool replace, bool dontAskAgain);
// False for a name that would put a file outside the destination folder.
bool IsSafeMemberName(const char* name);
