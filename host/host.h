// The POSIX side of the platform seam: controls for tests and the tools.
//
// Paths from the engine are in Windows notation; every "\" becomes "/" before
// a path reaches the file system.
#pragma once

#include <cstdint>
#include <ctime>
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

// Commands the engine started, as "exec: LINE" or "open: PROGRAM | ARGUMENTS
// | FOLDER", and the platform family it is told it runs on (2: NT).
const std::vector<std::string>& HostStartedCommands();
void HostSetPlatformId(int id);

// Forgets everything above and resets the engine's shared state.
void HostReset();

// An output file that stays in memory, for tests and benchmarks. The bytes
// written to it are kept with the size of every write, or only counted when
// `keep` is false. One sink at a time: HostOpenSink makes `sink` the output
// that PlatWriteFile and PlatCloseFile recognise; HostReset forgets it.
struct HostSink {
    bool keep = true;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> writes;
    uint64_t total = 0;
    bool closed = false;
};
OutputFile HostOpenSink(HostSink& sink);

// From now on PlatWriteFile takes at most `bytes` more bytes in all, like a
// disk that fills up: the write that reaches the limit is short, later ones
// write nothing. A negative count lifts the limit (HostReset does too).
void HostFailWritesAfter(int64_t bytes);

// Appends the size asked by every later archive read to `log`; null stops.
void HostLogArchiveReads(std::vector<uint32_t>* log);

// From now on the archive gives at most `bytes` more bytes in all, like a
// file on a medium that went away; then every read gets nothing. A negative
// count lifts the limit (HostReset does too).
void HostFailReadsAfter(int64_t bytes);

// Windows notation (Windows-1252) to a POSIX path (UTF-8).
std::string HostPath(const char* windowsPath);
// The moment an MS-DOS time (low 16 bits) and date (high 16 bits) stand for,
// taken as local time; false for fields that are no valid date and time.
bool HostTimeFromDos(uint32_t timeDate, time_t& when);
