#include "launcher.h"

#include <cstring>

#include "globals.h"
#include "helpers.h"
#include "platform.h"
#include "texts.h"

namespace {

const char* FindMarker(const char* text)
{
    for (; text[0] != 0; text++)
        if (text[0] == '>' && text[1] == '<')
            return text;
    return nullptr;
}

}  // namespace

void ReplaceMarker(char* text, uint32_t size, const char* value)
{
    char result[CommandTextSize];
    if (size > sizeof result)
        size = sizeof result;
    result[0] = 0;
    // One pass from left to right: the values put in are never searched, so
    // the replacement ends whatever they hold.
    const char* rest = text;
    for (const char* marker = FindMarker(rest); marker != nullptr; marker = FindMarker(rest)) {
        uint32_t used = TextLength(result);
        uint32_t keep = uint32_t(marker - rest);
        if (used + keep >= size)
            keep = size - 1 - used;
        std::memcpy(result + used, rest, keep);
        result[used + keep] = 0;
        AppendText(result, size, value);
        rest = marker + 2;
    }
    AppendText(result, size, rest);
    CopyText(text, size, result);
}

void CommandPart(int which, char* target, uint32_t size)
{
    AppendBackslash(DestinationFolder);
    int bar = FindFirstChar(RunCommand, '|');
    if (which == 1) {
        uint32_t length = bar < 0 ? TextLength(RunCommand) : uint32_t(bar);
        TextFromBuffer(target, size, RunCommand, uint16_t(length));
    } else {
        CopyText(target, size, bar < 0 ? "" : RunCommand + bar + 1);
    }
    ReplaceMarker(target, size, DestinationFolder);
    // The short form is taken only when it is shorter than the text itself.
    PlatShortPath(target, TextLength(target));
}

bool IsInfFile(const char* text)
{
    uint32_t length = TextLength(text);
    if (length < 4)
        return false;
    const char* end = text + length - 4;
    if (end[0] != '.')
        return false;
    for (int i = 1; i < 4; i++) {
        char c = end[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != "INF"[i - 1])
            return false;
    }
    return true;
}

void BuildRunCaption(char* target, uint32_t size)
{
    char part[CommandTextSize];
    PathBuffer shownProgram;
    PathBuffer shownArguments;
    CommandPart(1, part, sizeof part);
    FileNamePart(part, shownProgram, sizeof shownProgram);
    CommandPart(2, part, sizeof part);
    FileNamePart(part, shownArguments, sizeof shownArguments);
    CopyText(target, size, TXT_RUN_CAPTION);
    AppendText(target, size, shownProgram);
    AppendText(target, size, " ");
    AppendText(target, size, shownArguments);
    ReplaceMarker(target, size, IsInfFile(shownProgram) ? TXT_INSTALL_VERB : TXT_RUN_VERB);
}

uint32_t InstallInf(const char* program, const char* arguments)
{
    const char* section = std::strcmp(arguments, ".ntx86") == 0 ? ".ntx86" : "";
    int platform = PlatPlatformId();
    if (platform == 0)
        return 0;
    char line[CommandTextSize + 80];
    line[0] = 0;
    if (platform == 1) {
        CopyText(line, sizeof line, "rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 ");
    } else if (platform == 2) {
        CopyText(line, sizeof line, "rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall");
        AppendText(line, sizeof line, section);
        AppendText(line, sizeof line, " 132 ");
    }
    AppendText(line, sizeof line, program);
    return PlatRunCommandLine(line);
}

void RunAfterExtraction(int checkState)
{
    if (checkState != 1 || !CommandGiven)
        return;
    char program[CommandTextSize];
    char arguments[CommandTextSize];
    CommandPart(1, program, sizeof program);
    CommandPart(2, arguments, sizeof arguments);
    PathBuffer saved;
    PlatCurrentFolder(saved, sizeof saved);
    if (DefaultFolder[0] != 0)
        PlatSetCurrentFolder(DefaultFolder);
    if (TextLength(program) > 4) {
        if (IsInfFile(program))
            InstallInf(program, arguments);
        else
            PlatShellOpen(program, arguments, DestinationFolder);
    }
    PlatSetCurrentFolder(saved);
}
