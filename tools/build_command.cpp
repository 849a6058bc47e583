#include "build_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>

#include "engine_run.h"
#include "globals.h"
#include "host.h"
#include "progress.h"
#include "sfx_file.h"
#include "source_files.h"
#include "text_codec.h"
#include "zip_input.h"
#include "zip_writer.h"

const char BuildHelp[] =
    "usage: quillex build DIR|FILE... -o OUT.exe [options]\n"
    "\n"
    "Makes a self-extracting file: the stub, its configuration and a ZIP archive\n"
    "of the inputs. A folder gives its contents, all levels deep, under names\n"
    "relative to it; a file gives itself under its own name; empty folders are\n"
    "kept. Every file is deflated, or stored when deflating does not make it\n"
    "smaller; members are sorted by name; modification times are kept (to two\n"
    "seconds, in local time). Names must be valid on Windows and fit Windows-1252.\n"
    "A single input that is a ZIP archive (its name ends in .zip, or it starts\n"
    "like one) is shipped as it is, or rewritten when the self-extracting file\n"
    "could not read it as it is; an archive it cannot read at all is refused.\n"
    "The result is checked with the extraction engine before it is kept.\n"
    "\n"
    "The file and its archive:\n"
    "  -o, --output OUT.exe     the file to write (replaced only once it checks)\n"
    "  --stub 32|64|PATH        the stub: stub32.exe beside this tool (the default;\n"
    "                           runs on every Windows), stub64.exe, or a stub file\n"
    "  --level N                deflate level, 0 (store everything) to 12 (the\n"
    "                           default: the smallest file, the slowest build)\n"
    "  --password P             encrypts every file with the traditional ZIP\n"
    "                           encryption: the end user is asked for the password\n"
    "                           before the first file is written. Weak: it keeps out\n"
    "                           the casual reader, not a determined one. At most 79\n"
    "                           characters (what the question's field holds)\n"
    "  --as-file                a single ZIP input is packed as a file of its own\n"
    "                           instead of being shipped as the archive\n"
    "  -q, --quiet              no progress line, notes or summary; warnings and\n"
    "                           errors still show\n"
    "\n"
    "What the end user sees:\n"
    "  --caption TEXT           the title of the dialog and of the start message\n"
    "                           (default \"Quillex\")\n"
    "  --dest TEXT              the folder proposed in the \"Destination :\" field;\n"
    "                           without it, the folder the file was started from.\n"
    "                           \"><\" proposes the user's temporary folder;\n"
    "                           ROOT\\KEY\\VALUE[|SUBFOLDER] proposes the folder\n"
    "                           held in that registry value, with SUBFOLDER added\n"
    "                           (ROOT: HKCU, HKLM, HKU or their long names); the\n"
    "                           temporary folder when the value does not exist\n"
    "  --run TEXT               a command started after a successful extraction:\n"
    "                           PROGRAM or PROGRAM|ARGUMENTS, where \"><\" stands for\n"
    "                           the destination folder (\"><setup.exe|/S\"). A\n"
    "                           document opens in its program; an .INF file is\n"
    "                           installed. A check box \"Après extraction, lancer :\n"
    "                           PROGRAM ARGUMENTS\" (\"installer\" for an .INF file)\n"
    "                           lets the user skip it\n"
    "  --message TEXT           a message box shown before the dialog opens\n"
    "  --message-type ok|okcancel|yesno\n"
    "                           its buttons: OK (default); OK and Cancel; Yes and\n"
    "                           No. Cancel or No ends the program before the dialog\n"
    "  --hide-run-option        the check box of --run is hidden: the command always\n"
    "                           runs after a successful extraction\n"
    "  --no-member-choice       the \"Fichiers :\" list only shows the files: every\n"
    "                           one is extracted (by default all are selected and\n"
    "                           the user may deselect some)\n"
    "  --overwrite always|never|confirm\n"
    "                           the \"Re-écrire :\" button checked at start, for files\n"
    "                           that already exist: \"Toujours\" replaces them, \"Non\"\n"
    "                           keeps them, \"Confirmer\" (default) asks for each one\n"
    "  --hide-overwrite         removes the \"Re-écrire :\" buttons: the policy of\n"
    "                           --overwrite applies (with \"confirm\", the question\n"
    "                           for an existing file can still change it)\n"
    "  --no-size-check          starts even when the file was cut short or padded on\n"
    "                           its way; by default such a file only says \"Taille de\n"
    "                           fichier incorrect, essayez de le télécharger à\n"
    "                           nouveau.\" and ends\n"
    "  --auto                   the extraction starts at once and the dialog closes\n"
    "                           after it, with no end message; only when the file\n"
    "                           is named Setup.exe or its name starts with \"!\"\n"
    "  --no-done-message        no \"Tous les fichiers ont été extraits.\" box after a\n"
    "                           successful extraction\n"
    "  --flags N                the flags byte as a number (default 0x03); the\n"
    "                           switches above change it\n"
    "\n"
    "Texts are UTF-8 on the command line and are written in Windows-1252; each\n"
    "holds at most 255 bytes. `quillex info OUT.exe` prints them back.\n";

namespace {

struct BuildOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string stub = "32";
    SfxBlock block;
    int level = 12;
    bool levelGiven = false;
    std::string password;   // Windows-1252
    bool quiet = false;
    bool asFile = false;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "quillex: %s\n(quillex build --help lists the options)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "quillex: %s\n", message.c_str());
    return 1;
}

void Warn(const std::string& message)
{
    std::fprintf(stderr, "quillex: warning: %s\n", message.c_str());
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": cannot read it";
        return false;
    }
    return true;
}

std::string ToolFolder()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    char* slash = std::strrchr(path, '/');
    return slash == path ? "/" : std::string(path, slash);
}

bool SetText(const std::string& option, const char* utf8, std::string& target, std::string& error)
{
    if (!Utf8ToCp1252(utf8, target)) {
        error = option + ": the text has characters that Windows-1252 cannot hold";
        return false;
    }
    if (target.size() > 255) {
        error = option + ": the text is " + std::to_string(target.size()) +
                " bytes long in Windows-1252; at most 255 fit";
        return false;
    }
    return true;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const FlagSwitch* FindSwitch(const std::string& arg)
{
    for (const FlagSwitch& s : FlagSwitches)
        if (arg == std::string("--") + s.name)
            return &s;
    return nullptr;
}

// Gives an exit status: 0 to go on, 2 for a usage error, -1 after --help.
int ParseOptions(int argc, char** argv, BuildOptions& options)
{
    int overwrite = -1;
    uint8_t setBits = 0, clearBits = 0;
    std::string error;
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i];
        const char* v = nullptr;
        auto value = [&]() {
            if (i + 1 >= argc)
                return false;
            v = argv[++i];
            return true;
        };
        if (arg == "-o" || arg == "--output") {
            if (!value())
                return UsageError(arg + " needs a file name");
            options.output = v;
        } else if (arg == "--stub") {
            if (!value())
                return UsageError("--stub needs 32, 64 or a path");
            options.stub = v;
        } else if (arg == "--caption" || arg == "--dest" || arg == "--run" || arg == "--message") {
            if (!value())
                return UsageError(arg + " needs a text");
            SfxBlock& b = options.block;
            std::string& target = arg == "--caption" ? b.caption
                                  : arg == "--dest"  ? b.destination
                                  : arg == "--run"   ? b.command
                                                     : b.message;
            if (!SetText(arg, v, target, error))
                return UsageError(error);
        } else if (arg == "--message-type") {
            std::string t = value() ? v : "";
            auto type = std::find(std::begin(MessageTypeNames), std::end(MessageTypeNames), t);
            if (type == std::end(MessageTypeNames))
                return UsageError("--message-type takes ok, okcancel or yesno");
            options.block.messageType = MessageType(type - std::begin(MessageTypeNames));
        } else if (arg == "--flags") {
            if (!value())
                return UsageError("--flags needs a number");
            char* end = nullptr;
            unsigned long n = std::strtoul(v, &end, 0);
            if (*v == 0 || *end != 0 || n > 255)
                return UsageError(std::string("--flags takes a number from 0 to 255, not ") + v);
            options.block.flags = uint8_t(n);
        } else if (arg == "--overwrite") {
            std::string t = value() ? v : "";
            auto choice = std::find_if(std::begin(OverwriteChoices), std::end(OverwriteChoices),
                                       [&t](const OverwriteChoice& c) { return t == c.name; });
            if (choice == std::end(OverwriteChoices))
                return UsageError("--overwrite takes always, never or confirm");
            overwrite = choice->bits;
        } else if (const FlagSwitch* s = FindSwitch(arg)) {
            (s->sets ? setBits : clearBits) |= s->bit;
        } else if (arg == "--level") {
            if (!value())
                return UsageError("--level needs a number from 0 to 12");
            char* end = nullptr;
            long n = std::strtol(v, &end, 10);
            if (*v == 0 || *end != 0 || n < 0 || n > 12)
                return UsageError(std::string("--level takes a number from 0 to 12, not ") + v);
            options.level = int(n);
            options.levelGiven = true;
        } else if (arg == "--password") {
            if (!value())
                return UsageError("--password needs a password");
            if (!Utf8ToCp1252(v, options.password))
                return UsageError("--password: the password has characters that Windows-1252 cannot hold");
            if (options.password.empty() || options.password.size() > 79)
                return UsageError("--password: the password must have 1 to 79 characters; "
                                  "the end user's password field holds no more");
        } else if (arg == "--as-file") {
            options.asFile = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(BuildHelp, stdout);
            return -1;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.inputs.empty())
        return UsageError("build needs the files, folders or ZIP archive to pack");
    if (options.output.empty())
        return UsageError("build needs -o OUT.exe");
    SfxBlock& b = options.block;
    b.flags = uint8_t((b.flags | setBits) & ~clearBits);
    if (overwrite >= 0)
        b.flags = uint8_t((b.flags & ~FlagOverwriteMask) | overwrite);
    if (b.messageType != MessageType::Ok && b.message.empty())
        return UsageError("--message-type needs a --message");
    return 0;
}

// The output while it is written: a file beside it, renamed once it checks,
// so that a failed build leaves neither a broken file nor a lost older one.
char TempPath[4096] = "";

void RemoveTempAndDie(int signal)
{
    if (TempPath[0] != 0)
        unlink(TempPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

FILE* CreateTemp(const std::string& output, std::string& error)
{
    std::string pattern = output + ".XXXXXX";
    if (pattern.size() >= sizeof TempPath) {
        error = "the output's name is too long";
        return nullptr;
    }
    std::strcpy(TempPath, pattern.c_str());
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, RemoveTempAndDie);
    int fd = mkstemp(TempPath);
    if (fd < 0) {
        error = "cannot write " + output + ": " + std::strerror(errno);
        TempPath[0] = 0;
        return nullptr;
    }
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
        error = "cannot write " + output + ": " + std::strerror(errno);
    }
    return file;
}

void RemoveTemp()
{
    if (TempPath[0] != 0)
        unlink(TempPath);
    TempPath[0] = 0;
}

bool WriteBytes(FILE* out, const std::vector<uint8_t>& bytes, std::string& error)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
        error = std::string("cannot write the file: ") + std::strerror(errno);
        return false;
    }
    return true;
}

struct Totals {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t original = 0;
};

// One member's data, packed by a worker and written in name order.
struct PackJob {
    PackedData packed;
    std::string error;
    bool ready = false;
};

bool ReadSource(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > MaxSfxFileSize) {
            std::fclose(in);
            error = path + ": the file has grown past 2 GiB";
            return false;
        }
    }
    bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        error = path + ": cannot read it";
        return false;
    }
    return true;
}

void PackOne(const SourceEntry& entry, const BuildOptions& options, PackJob& job)
{
    std::vector<uint8_t> data;
    if (!ReadSource(entry.path, data, job.error))
        return;
    if (!PackData(data.data(), data.size(), options.level, job.packed)) {
        job.error = "cannot set up the compressor";
        return;
    }
    if (!options.password.empty()) {
        uint8_t random[11];
        if (!RandomBytes(random, sizeof random)) {
            job.error = "the system's random source fails";
            return;
        }
        EncryptData(options.password, random, uint8_t(job.packed.crc >> 24), job.packed.bytes);
    }
}

// Packs the files on every processor and writes them in name order. At most
// a bounded amount of data waits in memory, besides the member written next.
bool PackSources(const std::vector<SourceEntry>& entries, const BuildOptions& options,
                 ZipWriter& writer, Progress& progress, Totals& totals, std::string& error)
{
    constexpr uint64_t Budget = 256u << 20;
    const size_t count = entries.size();
    const unsigned threads = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
    std::vector<PackJob> jobs(count);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, written = 0;
    uint64_t waiting = 0;
    bool stop = false;

    auto worker = [&]() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] {
                return stop || next >= count || next == written ||
                       (waiting + entries[next].size <= Budget && next < written + 4 * threads);
            });
            if (stop || next >= count)
                return;
            size_t i = next++;
            waiting += entries[i].size;
            lock.unlock();
            PackJob job;
            if (!entries[i].folder)
                PackOne(entries[i], options, job);
            lock.lock();
            jobs[i] = std::move(job);
            jobs[i].ready = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; t++)
        pool.emplace_back(worker);

    bool ok = true;
    uint64_t bytesDone = 0;
    for (size_t i = 0; i < count && ok; i++) {
        PackJob job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return jobs[i].ready; });
            job = std::move(jobs[i]);
        }
        const SourceEntry& entry = entries[i];
        if (!job.error.empty()) {
            error = job.error;
            ok = false;
            break;
        }
        MemberHeader h;
        h.name = entry.name;
        h.timeDate = DosTimeDate(entry.modified);
        AddTimeExtra(h, entry.modified);
        AddUnicodePathExtra(h);
        if (entry.folder) {
            h.externalAttributes = 0x10;   // MS-DOS folder attribute
            totals.folders++;
        } else {
            bool encrypted = !options.password.empty();
            h.method = job.packed.method;
            h.versionNeeded = uint16_t(h.method == 8 || encrypted ? 20 : 10);
            h.flags = encrypted ? ZipFlagEncrypted : 0;
            h.crc = job.packed.crc;
            h.compressedSize = uint32_t(job.packed.bytes.size());
            h.uncompressedSize = job.packed.size;
            totals.files++;
            totals.original += job.packed.size;
        }
        ok = writer.AddMember(h, job.packed.bytes.data(), false, error);
        if (!ok && error.rfind("cannot write", 0) != 0)
            error = entry.path + ": " + error;
        bytesDone += entry.size;
        progress.Update(i + 1, bytesDone);
        std::lock_guard<std::mutex> lock(mutex);
        waiting -= entry.size;
        written = i + 1;
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        changed.notify_all();
    }
    for (std::thread& t : pool)
        t.join();
    return ok;
}

// Writes the archive of a ZIP input: byte for byte behind the block when the
// stub reads it as it is, else rewritten member by member.
bool ShipZip(FILE* out, const std::vector<uint8_t>& stub, const std::vector<uint8_t>& blockBytes,
             const std::string& inputPath, const BuildOptions& options, Progress& progress,
             Totals& totals, std::vector<std::string>& names, std::set<std::string>& unchecked,
             std::string& error)
{
    std::vector<uint8_t> zip;
    if (!ReadWholeFile(inputPath, zip, error))
        return false;
    ZipInput input;
    if (!ReadZipInput(zip, input, error)) {
        error = inputPath + ": " + error;
        return false;
    }
    for (const std::string& warning : input.warnings)
        Warn(inputPath + ": " + warning);
    if (options.levelGiven && !options.quiet)
        std::fprintf(stderr, "quillex: note: --level does not recompress the members of a ZIP archive\n");
    progress.SetTotals(input.members.size(), zip.size());
    for (const InputMember& m : input.members) {
        names.push_back(m.header.name);
        if ((m.header.flags & ZipFlagEncrypted) && options.password.empty())
            unchecked.insert(m.header.name);
        if (m.header.name.back() == '/')
            totals.folders++;
        else
            totals.files++;
        totals.original += m.header.uncompressedSize;
    }

    std::vector<std::string> reasons = input.rewriteReasons;
    if (!options.password.empty())
        reasons.push_back("--password encrypts its members");
    if (reasons.empty()) {
        std::vector<uint8_t> file;
        SfxBlock block = options.block;
        if (!BuildSfxFile(stub, block, zip, file, error)) {
            error = inputPath + ": " + error;
            return false;
        }
        progress.Update(input.members.size(), zip.size());
        return WriteBytes(out, file, error);
    }
    if (!options.quiet) {
        std::string why;
        for (const std::string& r : reasons)
            why += (why.empty() ? "" : "; ") + r;
        std::fprintf(stderr, "quillex: note: %s is rewritten for the self-extracting file: %s\n",
                     inputPath.c_str(), why.c_str());
    }
    if (!WriteBytes(out, stub, error) || !WriteBytes(out, blockBytes, error))
        return false;
    ZipWriter writer(out, uint32_t(stub.size() + blockBytes.size()));
    uint64_t done = 0;
    for (size_t i = 0; i < input.members.size(); i++) {
        const InputMember& m = input.members[i];
        MemberHeader h = m.header;
        std::vector<uint8_t> data(zip.begin() + long(m.dataStart),
                                  zip.begin() + long(m.dataStart + h.compressedSize));
        bool folder = h.name.back() == '/' && h.uncompressedSize == 0;
        if (!options.password.empty() && !(h.flags & ZipFlagEncrypted) && !folder) {
            uint8_t random[11];
            if (!RandomBytes(random, sizeof random)) {
                error = "the system's random source fails";
                return false;
            }
            // The member lost its data descriptor, if it had one: its CRC is
            // in the local header, and the check byte comes from it.
            EncryptData(options.password, random, uint8_t(h.crc >> 24), data);
            h.flags |= ZipFlagEncrypted;
            h.versionNeeded = 20;
            h.compressedSize = uint32_t(data.size());
        }
        if (!writer.AddMember(h, data.data(), m.descriptor, error)) {
            error = "member \"" + m.shownName + "\": " + error;
            return false;
        }
        done += m.header.compressedSize;
        progress.Update(i + 1, done);
    }
    return writer.Finish(input.comment, error);
}

// The engine reads the file back as the stub will: every member must be
// found by the walk over the local headers and must decode to its CRC.
bool CheckOutput(const std::string& path, const BuildOptions& options,
                 std::vector<std::string> expected, const std::set<std::string>& unchecked,
                 std::string& error)
{
    TestReport report;
    int status = TestArchive(path, options.password, false, true, unchecked, report);
    if (status == 2 || report.members.empty()) {
        error = "the engine cannot read the file back";
        return false;
    }
    std::vector<std::string> found = report.members;
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    if (found != expected) {
        error = "the engine's walk over the file finds " + std::to_string(found.size()) +
                " members where " + std::to_string(expected.size()) + " were written";
        return false;
    }
    if (!report.failed.empty()) {
        if (HostPasswordQuestions() > 0)
            error = "the password does not open member \"" + Cp1252ToUtf8(report.failed[0]) +
                    "\"" + (options.password.empty() ? " (give it with --password)" : "");
        else
            error = "member \"" + Cp1252ToUtf8(report.failed[0]) + "\" does not extract correctly" +
                    (report.failed.size() > 1
                         ? " (nor " + std::to_string(report.failed.size() - 1) + " more)"
                         : "");
        return false;
    }
    if (status != 0) {
        error = "the size check fails";
        return false;
    }
    return true;
}

bool IsAutoName(const std::string& output)
{
    std::string name = BaseName(output);
    return (!name.empty() && name[0] == '!') || Lower(name) == "setup.exe";
}

std::string Percent(uint64_t part, uint64_t whole)
{
    if (whole == 0)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * double(part) / double(whole));
    return text;
}

}  // namespace

int BuildCommand(int argc, char** argv)
{
    BuildOptions options;
    int status = ParseOptions(argc, argv, options);
    if (status != 0)
        return status < 0 ? 0 : status;

    std::string stubPath = options.stub;
    if (stubPath == "32" || stubPath == "64")
        stubPath = ToolFolder() + "/stub" + stubPath + ".exe";
    std::vector<uint8_t> stub, blockBytes;
    std::string error;
    if (!ReadWholeFile(stubPath, stub, error))
        return Fail("cannot read the stub " + error);
    if (stub.size() != StubSize)
        return Fail(stubPath + " is " + std::to_string(stub.size()) + " bytes; a stub image is exactly " +
                    std::to_string(StubSize) + " bytes");
    if (!EncodeBlock(options.block, blockBytes, error))
        return Fail(error);
    if (!options.password.empty())
        Warn("the traditional ZIP encryption of --password is weak: it keeps out the casual "
             "reader, not a determined one");
    if ((options.block.flags & FlagAuto) && !IsAutoName(options.output))
        Warn("--auto works only in a file named Setup.exe or whose name starts with \"!\"; "
             "rename " + BaseName(options.output) + " before shipping it, or its dialog waits for the user");

    // A single ZIP archive is the archive itself, unless told otherwise.
    bool zipInput = false;
    if (options.inputs.size() == 1 && !options.asFile) {
        const std::string& input = options.inputs[0];
        struct stat info;
        if (stat(input.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            std::vector<uint8_t> start(4);
            FILE* in = std::fopen(input.c_str(), "rb");
            if (in != nullptr) {
                start.resize(std::fread(start.data(), 1, 4, in));
                std::fclose(in);
            }
            bool named = input.size() >= 4 && Lower(input.substr(input.size() - 4)) == ".zip";
            zipInput = named || StartsLikeZip(start);
            if (zipInput && !named && !options.quiet)
                std::fprintf(stderr, "quillex: note: %s is a ZIP archive: its members are shipped "
                             "(--as-file ships the file itself)\n", input.c_str());
        }
    }

    // Building over an input would pack the output into itself, or lose the
    // archive it was made from.
    struct stat target;
    if (stat(options.output.c_str(), &target) == 0) {
        for (const std::string& input : options.inputs) {
            struct stat source;
            if (stat(input.c_str(), &source) == 0 && source.st_dev == target.st_dev &&
                source.st_ino == target.st_ino)
                return Fail(options.output + " is one of the inputs; write the self-extracting file elsewhere");
        }
    }
    FILE* out = CreateTemp(options.output, error);
    if (out == nullptr)
        return Fail(error);
    std::vector<FileId> skip;
    struct stat info;
    if (fstat(fileno(out), &info) == 0)
        skip.push_back({info.st_dev, info.st_ino});
    if (stat(options.output.c_str(), &info) == 0)
        skip.push_back({info.st_dev, info.st_ino});

    Progress progress(stderr, isatty(fileno(stderr)) != 0, options.quiet);
    Totals totals;
    std::vector<std::string> names;
    std::set<std::string> unchecked;   // encrypted members whose password is not known
    bool ok;
    if (zipInput) {
        ok = ShipZip(out, stub, blockBytes, options.inputs[0], options, progress, totals, names,
                     unchecked, error);
    } else {
        std::vector<SourceEntry> entries;
        ok = CollectSources(options.inputs, skip, entries, error);
        if (ok) {
            uint64_t bytes = 0;
            for (const SourceEntry& e : entries) {
                bytes += e.size;
                names.push_back(e.name);
            }
            progress.SetTotals(entries.size(), bytes);
            ok = WriteBytes(out, stub, error) && WriteBytes(out, blockBytes, error);
            ZipWriter writer(out, uint32_t(stub.size() + blockBytes.size()));
            ok = ok && PackSources(entries, options, writer, progress, totals, error) &&
                 writer.Finish("", error);
        }
    }
    progress.Finish();
    if (std::fflush(out) != 0 && ok) {
        error = std::string("cannot write the file: ") + std::strerror(errno);
        ok = false;
    }
    if (std::fclose(out) != 0 && ok) {
        error = std::string("cannot write the file: ") + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        RemoveTemp();
        return Fail(error);
    }
    if (!unchecked.empty())
        Warn(std::to_string(unchecked.size()) + " encrypted member(s) of " + options.inputs[0] +
             " cannot be checked without their password; give it with --password to check them");
    if (!CheckOutput(TempPath, options, names, unchecked, error)) {
        RemoveTemp();
        return Fail("the check of the new file fails, so " + options.output + " was not written: " + error);
    }
    mode_t mask = umask(0);
    umask(mask);
    struct stat written;
    if (chmod(TempPath, 0777 & ~mask) != 0 || stat(TempPath, &written) != 0 ||
        rename(TempPath, options.output.c_str()) != 0) {
        error = std::strerror(errno);
        RemoveTemp();
        return Fail("cannot write " + options.output + ": " + error);
    }
    TempPath[0] = 0;
    if (!options.quiet) {
        uint64_t archive = uint64_t(written.st_size) - stub.size() - blockBytes.size();
        auto count = [](uint64_t n, const char* what) {
            return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
        };
        std::fprintf(stderr, "quillex: %s: %s, %s; %s in an archive of %llu (%s)\n",
                     options.output.c_str(), count(totals.files, "file").c_str(),
                     count(totals.folders, "folder").c_str(), count(totals.original, "byte").c_str(),
                     (unsigned long long)archive, Percent(archive, totals.original).c_str());
    }
    return 0;
}
