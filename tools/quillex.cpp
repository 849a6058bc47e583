// quillex: the distributor's tool. Builds self-extracting files and reads
// them back.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive.h"
#include "configuration.h"
#include "crc32.h"
#include "globals.h"
#include "helpers.h"
#include "host.h"
#include "member_list.h"
#include "sfx_file.h"
#include "text_codec.h"

namespace {

const char Usage[] =
    "usage: quillex build ARCHIVE.zip -o OUT.exe [options]\n"
    "       quillex info FILE\n"
    "       quillex list FILE\n"
    "       quillex test FILE [-p PASSWORD]\n"
    "       quillex extract FILE [-d DIR] [-p PASSWORD] [--overwrite always|never]\n"
    "\n"
    "FILE is a self-extracting file or a plain ZIP archive. list prints the member\n"
    "names in archive order; test decodes and checks every member without writing\n"
    "anything and prints each member that fails; extract writes the members under\n"
    "DIR (default: the current folder), keeping existing files unless --overwrite\n"
    "always is given. Exit status: 0 when every member is done, 1 when the run\n"
    "fails, 2 for usage errors or an unreadable file.\n"
    "\n"
    "build options:\n"
    "  --stub 32|64|PATH        the stub image (default: stub32.exe beside this tool)\n"
    "  --caption TEXT           window caption (default \"Quillex\")\n"
    "  --dest TEXT              destination folder proposed in the dialog: a folder,\n"
    "                           \"><\" for the temporary folder, or a registry value\n"
    "                           HKLM\\Key\\Value[|subfolder] (roots HKCU, HKLM, HKU)\n"
    "  --run TEXT               command started after a successful extraction:\n"
    "                           PROGRAM[|ARGUMENTS], \"><\" stands for the destination;\n"
    "                           an .INF file is installed\n"
    "  --message TEXT           message shown before the dialog opens\n"
    "  --message-type ok|okcancel|yesno\n"
    "                           Cancel or No ends the program before the dialog\n"
    "  --flags N                the flags byte as a number (default 0x03); the\n"
    "                           switches below change it\n"
    "  --hide-run-option        the run-after-extraction box is hidden; the command\n"
    "                           then always runs after a successful extraction\n"
    "  --no-member-choice       every member is extracted; the list is display-only\n"
    "  --hide-overwrite         the overwrite buttons are removed from the dialog\n"
    "  --overwrite always|never|confirm\n"
    "                           initial overwrite policy (default confirm)\n"
    "  --no-size-check          skip the check that the file is complete\n"
    "  --auto                   extract at once without waiting for the user, when the\n"
    "                           file is named Setup.exe or its name starts with \"!\"\n"
    "  --no-done-message        no \"all files extracted\" message at the end\n"
    "\n"
    "Texts are UTF-8 on the command line and are written in Windows-1252; each\n"
    "holds at most 255 bytes.\n";

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "quillex: %s\n\n%s", message.c_str(), Usage);
    return 2;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "quillex: %s\n", message.c_str());
    return 1;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
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

bool SetText(const char* option, const char* utf8, std::string& target, std::string& error)
{
    if (!Utf8ToCp1252(utf8, target)) {
        error = std::string(option) + ": the text has characters that Windows-1252 cannot hold";
        return false;
    }
    if (target.size() > 255) {
        error = std::string(option) + ": the text is " + std::to_string(target.size()) +
                " bytes long in Windows-1252; at most 255 fit";
        return false;
    }
    return true;
}

int Build(int argc, char** argv)
{
    std::string archive, output, stub = "32", error;
    SfxBlock block;
    int overwrite = -1;
    uint8_t setBits = 0, clearBits = 0;
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i];
        auto value = [&](const char*& v) {
            if (i + 1 >= argc)
                return false;
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "-o" || arg == "--output") {
            if (!value(v))
                return UsageError(arg + " needs a file name");
            output = v;
        } else if (arg == "--stub") {
            if (!value(v))
                return UsageError("--stub needs 32, 64 or a path");
            stub = v;
        } else if (arg == "--caption" || arg == "--dest" || arg == "--run" || arg == "--message") {
            if (!value(v))
                return UsageError(arg + " needs a text");
            std::string& target = arg == "--caption" ? block.caption
                                  : arg == "--dest"  ? block.destination
                                  : arg == "--run"   ? block.command
                                                     : block.message;
            if (!SetText(arg.c_str(), v, target, error))
                return Fail(error);
        } else if (arg == "--message-type") {
            if (!value(v))
                return UsageError("--message-type needs ok, okcancel or yesno");
            std::string t = v;
            if (t == "ok")
                block.messageType = MessageType::Ok;
            else if (t == "okcancel")
                block.messageType = MessageType::OkCancel;
            else if (t == "yesno")
                block.messageType = MessageType::YesNo;
            else
                return UsageError("--message-type takes ok, okcancel or yesno, not " + t);
        } else if (arg == "--flags") {
            if (!value(v))
                return UsageError("--flags needs a number");
            char* end = nullptr;
            unsigned long n = std::strtoul(v, &end, 0);
            if (*v == 0 || *end != 0 || n > 255)
                return UsageError(std::string("--flags takes a number from 0 to 255, not ") + v);
            block.flags = uint8_t(n);
        } else if (arg == "--overwrite") {
            if (!value(v))
                return UsageError("--overwrite needs always, never or confirm");
            std::string t = v;
            if (t == "always")
                overwrite = FlagOverwriteAlways;
            else if (t == "never")
                overwrite = FlagOverwriteNever;
            else if (t == "confirm")
                overwrite = 0;
            else
                return UsageError("--overwrite takes always, never or confirm, not " + t);
        } else if (arg == "--hide-run-option") {
            clearBits |= FlagShowRunOption;
        } else if (arg == "--no-member-choice") {
            clearBits |= FlagMemberChoice;
        } else if (arg == "--hide-overwrite") {
            setBits |= FlagHideOverwrite;
        } else if (arg == "--no-size-check") {
            setBits |= FlagNoSizeCheck;
        } else if (arg == "--auto") {
            setBits |= FlagAuto;
        } else if (arg == "--no-done-message") {
            setBits |= FlagNoDoneMessage;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (archive.empty()) {
            archive = arg;
        } else {
            return UsageError("one archive only (" + archive + " and " + arg + ")");
        }
    }
    if (archive.empty())
        return UsageError("build needs an archive");
    if (output.empty())
        return UsageError("build needs -o OUT.exe");
    block.flags = uint8_t((block.flags | setBits) & ~clearBits);
    if (overwrite >= 0)
        block.flags = uint8_t((block.flags & ~FlagOverwriteMask) | overwrite);

    if (stub == "32" || stub == "64")
        stub = ToolFolder() + "/stub" + stub + ".exe";
    std::vector<uint8_t> stubBytes, zip, out;
    if (!ReadWholeFile(stub, stubBytes))
        return Fail("cannot read the stub " + stub);
    if (!ReadWholeFile(archive, zip))
        return Fail("cannot read " + archive);
    if (!BuildSfxFile(stubBytes, block, zip, out, error))
        return Fail((error.rfind("the stub", 0) == 0 ? stub : archive) + ": " + error);

    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    file.close();
    if (!file) {
        std::remove(output.c_str());
        return Fail("cannot write " + output);
    }
    chmod(output.c_str(), 0755);
    return 0;
}

const char* YesNo(bool b)
{
    return b ? "yes" : "no";
}

int Info(int argc, char** argv)
{
    if (argc != 1)
        return UsageError("info needs one file");
    std::vector<uint8_t> file;
    if (!ReadWholeFile(argv[0], file))
        return Fail(std::string("cannot read ") + argv[0]);
    SfxBlock block;
    uint32_t archiveOffset = 0;
    std::string error;
    if (!DecodeBlock(file, block, archiveOffset, error))
        return Fail(std::string(argv[0]) + ": " + error);
    static const char* const Types[] = {"ok", "okcancel", "yesno"};
    uint8_t f = block.flags;
    std::printf("caption: %s\n", Cp1252ToUtf8(block.caption).c_str());
    std::printf("dest: %s\n", Cp1252ToUtf8(block.destination).c_str());
    std::printf("run: %s\n", Cp1252ToUtf8(block.command).c_str());
    std::printf("message: %s\n", Cp1252ToUtf8(block.message).c_str());
    std::printf("message-type: %s\n", Types[int(block.messageType)]);
    std::printf("flags: 0x%02X\n", f);
    std::printf("hide-run-option: %s\n", YesNo(!(f & FlagShowRunOption)));
    std::printf("no-member-choice: %s\n", YesNo(!(f & FlagMemberChoice)));
    std::printf("hide-overwrite: %s\n", YesNo(f & FlagHideOverwrite));
    int overwrite = f & FlagOverwriteMask;
    std::printf("overwrite: %s\n", overwrite == FlagOverwriteAlways  ? "always"
                                   : overwrite == FlagOverwriteNever ? "never"
                                                                     : "confirm");
    std::printf("no-size-check: %s\n", YesNo(f & FlagNoSizeCheck));
    std::printf("auto: %s\n", YesNo(f & FlagAuto));
    std::printf("no-done-message: %s\n", YesNo(f & FlagNoDoneMessage));
    std::printf("archive-offset: %u\n", archiveOffset);
    return 0;
}

// Opens FILE for the engine the way the stub opens itself: a self-extracting
// file through its configuration block (the size check included), a plain
// ZIP archive from its first byte. Gives an exit status, 0 when ready.
int OpenArchive(const std::string& path)
{
    HostReset();
    MakeCrcTable();
    if (!HostOpenArchive(path)) {
        std::fprintf(stderr, "quillex: cannot read %s\n", path.c_str());
        return 2;
    }
    HostSetProgramPath(path);
    uint8_t start[4] = {};
    PlatReadArchive(start, 4);
    bool plainZip = std::memcmp(start, "PK\x03\x04", 4) == 0;
    char marker[3] = {};
    PlatSeekArchive(int32_t(StubSize), SeekFromStart);
    bool selfExtracting = PlatReadArchive(marker, 3) == 3 && std::memcmp(marker, "MPV", 3) == 0;
    if (!plainZip && !selfExtracting) {
        std::fprintf(stderr, "quillex: %s is neither a self-extracting file nor a ZIP archive\n",
                     path.c_str());
        return 2;
    }
    HostSetEchoBoxes(true);
    bool ready;
    if (plainZip) {
        ArchiveBase = 0;
        ready = VerifyArchiveSize();
    } else {
        // The start message is not the tool's business: a queued answer
        // keeps it from ending the run.
        HostQueueAnswer(AnswerOk);
        HostSetEchoBoxes(false);
        ready = ReadConfiguration();
        if (!ready && !HostBoxes().empty()) {
            const HostBox& box = HostBoxes().back();
            std::fprintf(stderr, "%s: %s\n", Cp1252ToUtf8(box.caption).c_str(),
                         Cp1252ToUtf8(box.text).c_str());
        }
        HostSetEchoBoxes(true);
    }
    return ready ? 0 : 1;
}

struct ArchiveOptions {
    std::string file;
    std::string folder = ".";
    std::string password;
    uint8_t policy = PolicyKeep;
};

// Parses FILE and the options of list, test and extract; gives an exit
// status, 0 when the arguments are good.
int ParseArchiveOptions(const char* command, int argc, char** argv, bool folderAndPolicy,
                        bool password, ArchiveOptions& options)
{
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (password && arg == "-p") {
            if (!hasValue)
                return UsageError("-p needs a password");
            if (!Utf8ToCp1252(argv[++i], options.password) || options.password.size() > 79)
                return UsageError("the password must be at most 79 Windows-1252 characters");
        } else if (folderAndPolicy && arg == "-d") {
            if (!hasValue)
                return UsageError("-d needs a folder");
            options.folder = argv[++i];
            if (options.folder.size() >= PathSize - 1)
                return UsageError("the folder name is too long");
        } else if (folderAndPolicy && arg == "--overwrite") {
            std::string v = hasValue ? argv[++i] : "";
            if (v == "always")
                options.policy = PolicyReplace;
            else if (v == "never")
                options.policy = PolicyKeep;
            else
                return UsageError("--overwrite takes always or never");
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            return UsageError(std::string(command) + " takes one file");
        }
    }
    if (options.file.empty())
        return UsageError(std::string(command) + " needs a file");
    return 0;
}

int List(int argc, char** argv)
{
    ArchiveOptions options;
    if (int status = ParseArchiveOptions("list", argc, argv, false, false, options))
        return status;
    if (int status = OpenArchive(options.file))
        return status;
    HostDialog dialog;
    ProcessArchive(&dialog, 301, true);
    for (const std::string& name : dialog.members.added)
        std::printf("%s\n", Cp1252ToUtf8(name).c_str());
    return dialog.members.added.empty() ? 1 : 0;
}

// Lists the archive, selects every member and runs the extraction.
bool RunExtraction(const ArchiveOptions& options, HostDialog& dialog)
{
    HostSetDefaultPassword(options.password);
    OverwritePolicy = options.policy;
    CopyText(DestinationFolder, sizeof DestinationFolder, options.folder.c_str());
    ProcessArchive(&dialog, 301, true);
    HostSelectAll(dialog.members);
    size_t boxes = HostBoxes().size();
    bool done = ProcessArchive(&dialog, 301, false);
    // A refused password ends the run without a word from the engine.
    if (!done && HostBoxes().size() == boxes && HostPasswordQuestions() > 0)
        std::fprintf(stderr, "quillex: wrong or missing password (-p)\n");
    return done;
}

int Test(int argc, char** argv)
{
    ArchiveOptions options;
    if (int status = ParseArchiveOptions("test", argc, argv, false, true, options))
        return status;
    if (int status = OpenArchive(options.file))
        return status;
    HostSetDryRun(true);
    HostSetEchoBoxes(false);
    ShowDoneMessage = false;
    options.folder = "/nonexistent-quillex-test";
    options.policy = PolicyReplace;
    HostDialog dialog;
    bool done = RunExtraction(options, dialog);
    for (const std::string& name : HostSelectedInAddedOrder(dialog.members))
        std::printf("failed: %s\n", Cp1252ToUtf8(name).c_str());
    return done ? 0 : 1;
}

int Extract(int argc, char** argv)
{
    ArchiveOptions options;
    if (int status = ParseArchiveOptions("extract", argc, argv, true, true, options))
        return status;
    if (int status = OpenArchive(options.file))
        return status;
    HostDialog dialog;
    return RunExtraction(options, dialog) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return UsageError("a command is needed");
    std::string command = argv[1];
    if (command == "build")
        return Build(argc - 2, argv + 2);
    if (command == "info")
        return Info(argc - 2, argv + 2);
    if (command == "list")
        return List(argc - 2, argv + 2);
    if (command == "test")
        return Test(argc - 2, argv + 2);
    if (command == "extract")
        return Extract(argc - 2, argv + 2);
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    return UsageError("unknown command " + command);
}
