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

#include "sfx_file.h"
#include "text_codec.h"

namespace {

const char Usage[] =
    "usage: quillex build ARCHIVE.zip -o OUT.exe [options]\n"
    "       quillex info FILE\n"
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
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    return UsageError("unknown command " + command);
}
