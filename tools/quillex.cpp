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
#include "build_command.h"
#include "configuration.h"
#include "crc32.h"
#include "engine_run.h"
#include "globals.h"
#include "helpers.h"
#include "host.h"
#include "member_list.h"
#include "sfx_file.h"
#include "text_codec.h"

namespace {

const char Usage[] =
    "usage: quillex build DIR|FILE... -o OUT.exe [options]\n"
    "       quillex info FILE\n"
    "       quillex list FILE\n"
    "       quillex test FILE [-p PASSWORD]\n"
    "       quillex extract FILE [-d DIR] [-p PASSWORD] [--overwrite always|never]\n"
    "\n"
    "build makes a self-extracting file from files and folders, or from a ZIP\n"
    "archive; `quillex build --help` describes its options. info prints the\n"
    "options a self-extracting file was built with, in the words of build's\n"
    "switches.\n"
    "\n"
    "FILE is a self-extracting file or a plain ZIP archive. list prints the member\n"
    "names in archive order; test decodes and checks every member without writing\n"
    "anything and prints each member that fails; extract writes the members under\n"
    "DIR (default: the current folder), keeping existing files unless --overwrite\n"
    "always is given. Exit status: 0 when every member is done, 1 when the run\n"
    "fails, 2 for usage errors or an unreadable file.\n";

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

// Prints the block in the words of build's switches, one "name: value" a line.
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
    std::printf("caption: %s\n", Cp1252ToUtf8(block.caption).c_str());
    std::printf("dest: %s\n", Cp1252ToUtf8(block.destination).c_str());
    std::printf("run: %s\n", Cp1252ToUtf8(block.command).c_str());
    std::printf("message: %s\n", Cp1252ToUtf8(block.message).c_str());
    std::printf("message-type: %s\n", MessageTypeNames[int(block.messageType)]);
    std::printf("flags: 0x%02X\n", block.flags);
    std::printf("overwrite: %s\n", OverwriteName(block.flags));
    for (const FlagSwitch& s : FlagSwitches)
        std::printf("%s: %s\n", s.name, SwitchInEffect(s, block.flags) ? "yes" : "no");
    std::printf("archive-offset: %u\n", archiveOffset);
    return 0;
}

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
            // The engine takes paths in Windows-1252, as the stub does.
            if (!Utf8ToCp1252(argv[++i], options.folder))
                return UsageError("-d: the folder's name has characters that Windows-1252 cannot hold");
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

int Test(int argc, char** argv)
{
    ArchiveOptions options;
    if (int status = ParseArchiveOptions("test", argc, argv, false, true, options))
        return status;
    TestReport report;
    int status = TestArchive(options.file, options.password, true, false, {}, report);
    for (const std::string& name : report.failed)
        std::printf("failed: %s\n", Cp1252ToUtf8(name).c_str());
    return status;
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
        return BuildCommand(argc - 2, argv + 2);
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
