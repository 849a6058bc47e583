#include "engine_run.h"

#include <cstdio>
#include <cstring>

#include "archive.h"
#include "configuration.h"
#include "crc32.h"
#include "globals.h"
#include "helpers.h"
#include "host.h"
#include "text_codec.h"

int OpenArchive(const std::string& path, bool echo)
{
    HostReset();
    MakeCrcTable();
    if (!HostOpenArchive(path)) {
        std::fprintf(stderr, "quillex: cannot read %s\n", path.c_str());
        return 2;
    }
    std::string ansiPath;
    HostSetProgramPath(Utf8ToCp1252(path, ansiPath) ? ansiPath : path);
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
    HostSetEchoBoxes(echo);
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
        if (!ready && echo && !HostBoxes().empty()) {
            const HostBox& box = HostBoxes().back();
            std::fprintf(stderr, "%s: %s\n", Cp1252ToUtf8(box.caption).c_str(),
                         Cp1252ToUtf8(box.text).c_str());
        }
        HostSetEchoBoxes(echo);
    }
    return ready ? 0 : 1;
}

bool RunExtraction(const ArchiveOptions& options, HostDialog& dialog)
{
    HostSetDefaultPassword(options.password);
    OverwritePolicy = options.policy;
    CopyText(DestinationFolder, sizeof DestinationFolder, options.folder.c_str());
    ProcessArchive(&dialog, 301, true);
    HostSelectAll(dialog.members);
    for (size_t i = 0; i < dialog.members.names.size(); i++)
        if (options.skipped.count(dialog.members.names[i]) != 0)
            dialog.members.selected[i] = false;
    size_t boxes = HostBoxes().size();
    bool done = ProcessArchive(&dialog, 301, false);
    // A refused password ends the run without a word from the engine.
    if (!done && HostBoxes().size() == boxes && HostPasswordQuestions() > 0 &&
        options.sayWrongPassword)
        std::fprintf(stderr, "quillex: wrong or missing password (-p)\n");
    return done;
}

int TestArchive(const std::string& file, const std::string& password, bool echo, bool sizeCheck,
                const std::set<std::string>& skipped, TestReport& report)
{
    report = TestReport();
    if (int status = OpenArchive(file, echo))
        return status;
    if (sizeCheck && !SizeCheckEnabled && !VerifyArchiveSize())
        return 1;
    HostSetDryRun(true);
    HostSetEchoBoxes(false);
    ShowDoneMessage = false;
    ArchiveOptions options;
    options.file = file;
    options.password = password;
    options.folder = "/nonexistent-quillex-test";
    options.policy = PolicyReplace;
    options.skipped = skipped;
    options.sayWrongPassword = echo;
    HostDialog dialog;
    bool done = RunExtraction(options, dialog);
    report.failed = HostSelectedInAddedOrder(dialog.members);
    report.members = dialog.members.added;
    // With members left out on purpose the engine's verdict cannot be
    // "all done"; what is left selected decides.
    if (!skipped.empty())
        return report.failed.empty() ? 0 : 1;
    return done ? 0 : 1;
}
