// Running the engine on a file the way the stub runs on itself: for
// `quillex list`, `test` and `extract`, and for the check that follows every
// build.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "member_list.h"

// Opens FILE for the engine the way the stub opens itself: a self-extracting
// file through its configuration block (the size check included), a plain
// ZIP archive from its first byte. Gives an exit status, 0 when ready; with
// `echo` the program's messages go to stderr.
int OpenArchive(const std::string& path, bool echo = true);

struct ArchiveOptions {
    std::string file;
    std::string folder = ".";
    std::string password;   // Windows-1252
    uint8_t policy = 1;     // PolicyKeep
    std::set<std::string> skipped;   // members left unselected (Windows-1252 names)
    bool sayWrongPassword = true;
};

// Lists the open archive, selects every member and runs the extraction;
// true when every member is done.
bool RunExtraction(const ArchiveOptions& options, HostDialog& dialog);

struct TestReport {
    std::vector<std::string> failed;   // members that did not check, in archive order
    std::vector<std::string> members;  // every member the walk found, in archive order
};

// Decodes and checks every member of FILE, except those named in `skipped`,
// without writing anything. Gives an exit status: 0 when every member
// checks, 1 when one does not, 2 when the file cannot be read. Names are
// Windows-1252. With `sizeCheck` the check that the file ends with its
// archive runs even when the block switches it off.
int TestArchive(const std::string& file, const std::string& password, bool echo, bool sizeCheck,
                const std::set<std::string>& skipped, TestReport& report);
