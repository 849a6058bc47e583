// The POSIX side of the platform seam: controls for tests and the tools.
//
// Paths from the engine are in Windows notation; every "\" becomes "/" before
// a path reaches the file system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

// The archive the engine reads: a file, or bytes held in memory.
bool HostOpenArchive(const std::string& path);
void HostOpenArchiveBytes(const std::vector<uint8_t>& bytes);
void HostCloseArchive();
void HostSetProgramPath(const std::string& path);

// Message boxes are recorded; each takes the next queued answer, or OK/Yes
// when none is queued. With echo on, they are also printed to stderr (UTF-8).
struct HostBox {
    WindowRef owner;
    std::string text;      // Windows-1252, as the engine gave it
    std::string caption;
    unsigned type;
};
const std::vector<HostBox>& HostBoxes();
void HostQueueAnswer(int answer);
void HostSetEchoBoxes(bool echo);

// Registry values the engine may read, and the temporary folder it gets.
void HostSetRegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                          const std::string& data);
void HostSetTempFolder(const std::string& folder);

// Answers to the password question: queued texts first, then the default.
void HostQueuePassword(const std::string& password);
void HostSetDefaultPassword(const std::string& password);
int HostPasswordQuestions();
// Answers to the overwrite question: queued answers first, then "keep".
void HostQueueOverwriteAnswer(bool replace, bool dontAskAgain);
// The file names the overwrite question was asked about.
const std::vector<std::string>& HostOverwriteQuestions();

// A dry run writes nothing: folders are only remembered and output files go
// to /dev/null, so a whole extraction can be checked without touching disk.
void HostSetDryRun(bool dryRun);

// Forgets everything above and resets the engine's shared state.
void HostReset();

// Windows notation to a POSIX path.
std::string HostPath(const char* windowsPath);
