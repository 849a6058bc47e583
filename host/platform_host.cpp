#include "host.h"

#include <dirent.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <set>
#include <tuple>

#include "archive.h"
#include "globals.h"
#include "helpers.h"
#include "text_codec.h"

namespace {

FILE* Archive = nullptr;
std::vector<uint8_t> ArchiveBytes;   // backing store of an in-memory archive
std::string ProgramPath = "quillex.exe";
std::vector<HostBox> Boxes;
std::deque<int> Answers;
bool EchoBoxes = false;
std::map<std::tuple<int, std::string, std::string>, std::string> Registry;
std::string TempFolder = "/tmp/";
std::deque<std::string> Passwords;
std::string DefaultPassword;
int PasswordQuestions = 0;
std::deque<std::pair<bool, bool>> OverwriteAnswers;
std::vector<std::string> OverwriteQuestions;
std::vector<std::string> StartedCommands;
int PlatformId = 2;
bool DryRun = false;
std::set<std::string> DryRunFolders;
HostSink* Sink = nullptr;
int64_t WriteAllowance = -1;
std::vector<uint32_t>* ReadLog = nullptr;
int64_t ReadAllowance = -1;

// "a/b/" and "a/b" name the same folder.
std::string FolderKey(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

std::string HostPath(const char* windowsPath)
{
    // The engine's paths are ANSI texts in Windows-1252, the file system's
    // names here are UTF-8.
    std::string path = Cp1252ToUtf8(windowsPath);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

bool HostOpenArchive(const std::string& path)
{
    HostCloseArchive();
    Archive = std::fopen(path.c_str(), "rb");
    return Archive != nullptr;
}

void HostOpenArchiveBytes(const std::vector<uint8_t>& bytes)
{
    HostCloseArchive();
    ArchiveBytes = bytes;
    // fmemopen refuses a zero-length buffer; one spare byte that is never
    // inside the stream's size keeps it happy.
    ArchiveBytes.push_back(0);
    Archive = fmemopen(ArchiveBytes.data(), bytes.size(), "rb");
    if (bytes.empty() && Archive != nullptr) {
        std::fclose(Archive);
        Archive = std::fopen("/dev/null", "rb");
    }
}

void HostCloseArchive()
{
    if (Archive != nullptr)
        std::fclose(Archive);
    Archive = nullptr;
    ArchiveBytes.clear();
}

void HostSetProgramPath(const std::string& path)
{
    ProgramPath = path;
}

const std::vector<HostBox>& HostBoxes()
{
    return Boxes;
}

void HostQueueAnswer(int answer)
{
    Answers.push_back(answer);
}

void HostSetEchoBoxes(bool echo)
{
    EchoBoxes = echo;
}

void HostSetRegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                          const std::string& data)
{
    Registry[{root, key, name}] = data;
}

void HostSetTempFolder(const std::string& folder)
{
    TempFolder = folder;
}

void HostQueuePassword(const std::string& password)
{
    Passwords.push_back(password);
}

void HostSetDefaultPassword(const std::string& password)
{
    DefaultPassword = password;
}

int HostPasswordQuestions()
{
    return PasswordQuestions;
}

void HostQueueOverwriteAnswer(bool replace, bool dontAskAgain)
{
    OverwriteAnswers.push_back({replace, dontAskAgain});
}

const std::vector<std::string>& HostOverwriteQuestions()
{
    return OverwriteQuestions;
}

void HostSetDryRun(bool dryRun)
{
    DryRun = dryRun;
    DryRunFolders.clear();
}

const std::vector<std::string>& HostStartedCommands()
{
    return StartedCommands;
}

void HostSetPlatformId(int id)
{
    PlatformId = id;
}

OutputFile HostOpenSink(HostSink& sink)
{
    sink.bytes.clear();
    sink.writes.clear();
    sink.total = 0;
    sink.closed = false;
    Sink = &sink;
    return &sink;
}

void HostFailWritesAfter(int64_t bytes)
{
    WriteAllowance = bytes;
}

void HostLogArchiveReads(std::vector<uint32_t>* log)
{
    ReadLog = log;
}

void HostFailReadsAfter(int64_t bytes)
{
    ReadAllowance = bytes;
}

void HostReset()
{
    StartedCommands.clear();
    PlatformId = 2;
    Passwords.clear();
    DefaultPassword.clear();
    PasswordQuestions = 0;
    OverwriteAnswers.clear();
    OverwriteQuestions.clear();
    DryRun = false;
    DryRunFolders.clear();
    HostCloseArchive();
    ProgramPath = "quillex.exe";
    Boxes.clear();
    Answers.clear();
    EchoBoxes = false;
    Registry.clear();
    TempFolder = "/tmp/";
    Sink = nullptr;
    WriteAllowance = -1;
    ReadLog = nullptr;
    ReadAllowance = -1;
    ResetSharedState();
}

void* PlatAllocate(uint32_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

void PlatRelease(void* block)
{
    std::free(block);
}

void PlatOutOfMemory()
{
    std::fputs("quillex: out of memory\n", stderr);
    std::exit(2);
}

uint32_t PlatReadArchive(void* target, uint32_t count)
{
    if (ReadLog != nullptr)
        ReadLog->push_back(count);
    if (Archive == nullptr)
        return 0;
    if (ReadAllowance >= 0 && count > ReadAllowance)
        count = uint32_t(ReadAllowance);
    uint32_t got = uint32_t(std::fread(target, 1, count, Archive));
    if (ReadAllowance >= 0)
        ReadAllowance -= got;
    return got;
}

uint32_t PlatSeekArchive(int32_t offset, uint16_t origin)
{
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (Archive == nullptr || origin > 2 || std::fseek(Archive, offset, whence[origin]) != 0)
        return 0xFFFFFFFF;
    return uint32_t(std::ftell(Archive));
}

uint32_t PlatArchiveFileSize()
{
    if (Archive == nullptr)
        return 0;
    long here = std::ftell(Archive);
    std::fseek(Archive, 0, SEEK_END);
    long size = std::ftell(Archive);
    std::fseek(Archive, here, SEEK_SET);
    return uint32_t(size);
}

void PlatProgramPath(char* target, uint32_t size)
{
    CopyText(target, size, ProgramPath.c_str());
}

OutputFile PlatCreateFile(const char* path)
{
    std::string file = HostPath(path);
    if (DryRun) {
        if (file.empty() || file.back() == '/' || DryRunFolders.count(FolderKey(file)) != 0)
            return nullptr;
        return std::fopen("/dev/null", "wb");
    }
    return std::fopen(file.c_str(), "wb");
}

uint32_t PlatWriteFile(OutputFile file, const void* source, uint32_t count)
{
    if (WriteAllowance >= 0 && count > WriteAllowance)
        count = uint32_t(WriteAllowance);
    uint32_t written;
    if (Sink != nullptr && file == Sink) {
        const uint8_t* bytes = static_cast<const uint8_t*>(source);
        if (Sink->keep) {
            Sink->bytes.insert(Sink->bytes.end(), bytes, bytes + count);
            Sink->writes.push_back(count);
        }
        Sink->total += count;
        written = count;
    } else {
        written = uint32_t(std::fwrite(source, 1, count, static_cast<FILE*>(file)));
    }
    if (WriteAllowance >= 0)
        WriteAllowance -= written;
    return written;
}

bool HostTimeFromDos(uint32_t timeDate, time_t& when)
{
    struct tm local = {};
    local.tm_sec = int(timeDate & 0x1F) * 2;
    local.tm_min = int(timeDate >> 5 & 0x3F);
    local.tm_hour = int(timeDate >> 11 & 0x1F);
    local.tm_mday = int(timeDate >> 16 & 0x1F);
    local.tm_mon = int(timeDate >> 21 & 0x0F) - 1;
    local.tm_year = int(timeDate >> 25) + 80;
    local.tm_isdst = -1;
    struct tm asked = local;
    when = mktime(&local);
    // mktime carries fields that are out of range into the next ones; the
    // platform refuses such a date, and so does this.
    return when != time_t(-1) && local.tm_sec == asked.tm_sec && local.tm_min == asked.tm_min &&
           local.tm_mday == asked.tm_mday && local.tm_mon == asked.tm_mon &&
           local.tm_year == asked.tm_year && asked.tm_hour < 24;
}

void PlatSetFileTime(OutputFile file, uint32_t dosTimeDate)
{
    time_t when;
    if (DryRun || (Sink != nullptr && file == Sink) || !HostTimeFromDos(dosTimeDate, when))
        return;
    // Whatever is still buffered would otherwise be written at the close,
    // after the time is set, and move it again.
    FILE* stream = static_cast<FILE*>(file);
    std::fflush(stream);
    struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    futimens(fileno(stream), times);
}

bool PlatCloseFile(OutputFile file)
{
    if (Sink != nullptr && file == Sink) {
        Sink->closed = true;
        return true;
    }
    return std::fclose(static_cast<FILE*>(file)) == 0;
}

bool PlatIsFolder(const char* path)
{
    if (DryRun && DryRunFolders.count(FolderKey(HostPath(path))) != 0)
        return true;
    struct stat info;
    return stat(HostPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PlatFindFirst(const char* pattern)
{
    std::string path = HostPath(pattern);
    // "*.*" finds every entry of a folder on Windows, "." included.
    if (path.size() >= 3 && path.compare(path.size() - 3, 3, "*.*") == 0) {
        std::string folder = path.substr(0, path.size() - 3);
        if (DryRun && DryRunFolders.count(FolderKey(folder)) != 0)
            return true;
        DIR* d = opendir(folder.empty() ? "." : folder.c_str());
        if (d == nullptr)
            return false;
        closedir(d);
        return true;
    }
    // A search for a name that ends in a separator finds nothing on
    // Windows, even when the folder exists.
    if (!path.empty() && path.back() == '/')
        return false;
    if (path.find_first_of("*?") == std::string::npos) {
        if (DryRun && DryRunFolders.count(FolderKey(path)) != 0)
            return true;
        struct stat info;
        return lstat(path.c_str(), &info) == 0;
    }
    glob_t found;
    bool any = glob(path.c_str(), GLOB_NOSORT, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

bool PlatCreateFolder(const char* path)
{
    if (DryRun) {
        DryRunFolders.insert(FolderKey(HostPath(path)));
        return true;
    }
    return mkdir(HostPath(path).c_str(), 0777) == 0;
}

void PlatCurrentFolder(char* target, uint32_t size)
{
    char folder[4096];
    std::string ansi;
    if (getcwd(folder, sizeof folder) == nullptr)
        folder[0] = 0;
    CopyText(target, size, Utf8ToCp1252(folder, ansi) ? ansi.c_str() : folder);
}

bool PlatSetCurrentFolder(const char* path)
{
    return chdir(HostPath(path).c_str()) == 0;
}

void PlatTempFolder(char* target, uint32_t size)
{
    CopyText(target, size, TempFolder.c_str());
}

bool PlatReadRegistryValue(RegistryRoot root, const char* keyPath, const char* valueName,
                           void (*take)(const char* data, uint32_t size, void* context),
                           void* context)
{
    auto found = Registry.find({root, keyPath, valueName});
    if (found == Registry.end())
        return false;
    take(found->second.data(), uint32_t(found->second.size()), context);
    return true;
}

int PlatMessageBox(WindowRef owner, const char* text, const char* caption, unsigned type)
{
    Boxes.push_back({owner, text, caption, type});
    if (EchoBoxes)
        std::fprintf(stderr, "%s: %s\n", Cp1252ToUtf8(caption).c_str(), Cp1252ToUtf8(text).c_str());
    if (!Answers.empty()) {
        int answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    return (type & 0x0F) == BoxYesNo ? AnswerYes : AnswerOk;
}

void PlatPumpOneMessage()
{
}

void PlatAskPassword()
{
    PasswordQuestions++;
    std::string answer = DefaultPassword;
    if (!Passwords.empty()) {
        answer = Passwords.front();
        Passwords.pop_front();
    }
    // The question's edit holds at most 79 characters.
    CopyText(PasswordText, sizeof PasswordText, answer.c_str());
    PasswordLength = int32_t(TextLength(PasswordText));
}

void PlatAskOverwrite()
{
    OverwriteQuestions.push_back(ExistingFileName);
    std::pair<bool, bool> answer = {false, false};
    if (!OverwriteAnswers.empty()) {
        answer = OverwriteAnswers.front();
        OverwriteAnswers.pop_front();
    }
    AnswerOverwriteQuestion(answer.first, answer.second);
}

void PlatShortPath(char*, uint32_t)
{
    // POSIX paths have no short form.
}

int PlatPlatformId()
{
    return PlatformId;
}

uint32_t PlatRunCommandLine(const char* commandLine)
{
    StartedCommands.push_back(std::string("exec: ") + commandLine);
    return 33;
}

void PlatShellOpen(const char* program, const char* arguments, const char* folder)
{
    StartedCommands.push_back(std::string("open: ") + program + " | " + arguments + " | " + folder);
}
