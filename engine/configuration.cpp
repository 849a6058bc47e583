#include "configuration.h"

#include <cstring>

#include "globals.h"
#include "helpers.h"
#include "platform.h"
#include "texts.h"

namespace {

void ShowBadSize()
{
    PlatMessageBox(nullptr, TXT_BAD_SIZE, TXT_ERROR_CAPTION, BoxIconStop);
}

bool ReadBytes(void* target, uint32_t count)
{
    return PlatReadArchive(target, count) == count;
}

// Reads a length byte and that many text bytes into `target`, terminated.
// Gives false when the file ends first.
bool ReadText(char* target, uint8_t& length)
{
    if (!ReadBytes(&length, 1))
        return false;
    return length == 0 || ReadBytes(target, length);
}

bool ReadBlock()
{
    ArchiveBase = StubSize;
    SeekArchive(int32_t(ArchiveBase), SeekFromStart);

    char marker[4] = {0, 0, 0, 0};
    PlatReadArchive(marker, 3);
    if (std::strcmp(marker, "MPV") != 0)
        return false;

    uint8_t flags = 0;
    if (!ReadBytes(&flags, 1))
        return false;
    ShowRunOption = (flags & 0x01) != 0;
    AllowMemberChoice = (flags & 0x02) != 0;
    HideOverwriteOptions = (flags & 0x04) != 0;
    if ((flags & 0x18) == 0x08)
        OverwriteMode = OverwriteAlways;
    else if ((flags & 0x18) == 0x10)
        OverwriteMode = OverwriteNever;
    SizeCheckEnabled = (flags & 0x20) == 0;

    PathBuffer path;
    PathBuffer name;
    PlatProgramPath(path, sizeof path);
    FileNamePart(path, name, sizeof name);
    AutoExtract = (flags & 0x40) != 0 &&
                  (FindFirstChar(name, '!') == 0 || SameTextNoCase(name, "Setup.exe"));
    ShowDoneMessage = (flags & 0x80) == 0;

    uint8_t reserved[2];
    uint8_t blockLength[2];
    if (!ReadBytes(reserved, 2) || !ReadBytes(blockLength, 2))
        return false;
    ArchiveBase += uint32_t(blockLength[0] | blockLength[1] << 8);

    uint8_t length = 0;
    if (!ReadText(WindowCaption, length))
        return false;
    if (length > 0)
        WindowCaption[length] = 0;

    if (!ReadText(DefaultFolder, length))
        return false;
    DestinationGiven = length > 0;
    if (DestinationGiven) {
        DefaultFolder[length] = 0;
        ResolveDefaultFolder();
    }

    if (!ReadText(RunCommand, length))
        return false;
    CommandGiven = length > 0;
    RunCommand[length] = 0;

    if (!ReadText(StartMessage, length))
        return false;
    StartMessageGiven = length > 0;
    StartMessage[length] = 0;
    return true;
}

}  // namespace

bool ReadConfiguration()
{
    // A block cut short by the end of the file is refused like a bad marker.
    if (!ReadBlock()) {
        ShowBadSize();
        return false;
    }
    if (SizeCheckEnabled && !VerifyArchiveSize())
        return false;
    if (StartMessageGiven)
        return ShowStartMessage();
    return true;
}

bool ShowStartMessage()
{
    unsigned type = BoxOk;
    uint8_t first = uint8_t(StartMessage[0]);
    if (first == 1)
        type = BoxOkCancel | BoxIconInformation;
    else if (first == 2)
        type = BoxYesNo | BoxIconQuestion;
    if (first < 7)
        std::memmove(StartMessage, StartMessage + 1, TextLength(StartMessage + 1) + 1);
    int answer = PlatMessageBox(nullptr, StartMessage, WindowCaption, type);
    return type == BoxOk || (answer != AnswerCancel && answer != AnswerNo);
}

namespace {

struct RegistryCopy {
    uint32_t reportedSize;
};

void TakeRegistryValue(const char* data, uint32_t size, void* context)
{
    static_cast<RegistryCopy*>(context)->reportedSize = size;
    // The data as a zero-terminated text within its reported size, whatever
    // its registry type, cut at the first ";" and to 260 characters.
    uint32_t n = 0;
    while (n < size && n < PathSize - 1 && data[n] != 0 && data[n] != ';')
        n++;
    std::memcpy(DefaultFolder, data, n);
    DefaultFolder[n] = 0;
}

bool LookUpRoot(const char* name, RegistryRoot& root)
{
    if (std::strcmp(name, "HKEY_CURRENT_USER") == 0 || std::strcmp(name, "HKCU") == 0)
        root = RootCurrentUser;
    else if (std::strcmp(name, "HKEY_LOCAL_MACHINE") == 0 || std::strcmp(name, "HKLM") == 0)
        root = RootLocalMachine;
    else if (std::strcmp(name, "HKEY_USERS") == 0 || std::strcmp(name, "HKU") == 0)
        root = RootUsers;
    else
        return false;
    return true;
}

}  // namespace

void ResolveDefaultFolder()
{
    if (DefaultFolder[0] == 'H' && DefaultFolder[1] == 'K') {
        RegistryCopy copy = {0};
        PathBuffer suffix = "";
        int bar = FindLastChar(DefaultFolder, '|');
        if (bar >= 0) {
            CopyText(suffix, sizeof suffix, DefaultFolder + bar + 1);
            DefaultFolder[bar] = 0;
        }
        // A reference needs a root, a key path and a value name, so two
        // backslashes at least; with fewer it counts as a failed lookup.
        int last = FindLastChar(DefaultFolder, '\\');
        int first = FindFirstChar(DefaultFolder, '\\');
        if (first >= 0 && first < last) {
            PathBuffer valueName;
            CopyText(valueName, sizeof valueName, DefaultFolder + last + 1);
            DefaultFolder[last] = 0;
            PathBuffer keyPath;
            CopyText(keyPath, sizeof keyPath, DefaultFolder + first + 1);
            DefaultFolder[first] = 0;
            RegistryRoot root;
            if (LookUpRoot(DefaultFolder, root) &&
                PlatReadRegistryValue(root, keyPath, valueName, TakeRegistryValue, &copy) &&
                suffix[0] != 0 && TextLength(suffix) + TextLength(DefaultFolder) + 2 < 260) {
                AppendBackslash(DefaultFolder);
                AppendText(DefaultFolder, sizeof DefaultFolder, suffix);
            }
        }
        if (copy.reportedSize < 5)
            PlatTempFolder(DefaultFolder, PathSize - 1);
    }
    if (std::strcmp(DefaultFolder, "><") == 0)
        PlatTempFolder(DefaultFolder, PathSize - 1);
}

bool VerifyArchiveSize()
{
    ArchiveSizeOk = false;
    // A block that claims to reach past the end of the file cannot be right,
    // whatever the last bytes of the file hold.
    uint32_t fileSize = PlatArchiveFileSize();
    uint32_t window = fileSize > ArchiveBase ? fileSize - ArchiveBase : 0;
    if (window > 65558)
        window = 65558;
    if (window > 22) {
        uint8_t* buffer = static_cast<uint8_t*>(Allocate(window));
        uint32_t remembered = SeekArchive(0, SeekFromCurrent);
        uint32_t start = SeekArchive(-int32_t(window), SeekFromEnd);
        uint32_t got = PlatReadArchive(buffer, window);
        SeekArchive(int32_t(remembered), SeekFromStart);
        if (got == window) {
            for (uint32_t i = 0; i <= window - 22; i++) {
                if (buffer[i] == 0x50 && buffer[i + 1] == 0x4B && buffer[i + 2] == 5 &&
                    buffer[i + 3] == 6) {
                    uint32_t commentLength = buffer[i + 20] | uint32_t(buffer[i + 21]) << 8;
                    if (PlatArchiveFileSize() == start + i + 22 + commentLength) {
                        ArchiveSizeOk = true;
                        break;
                    }
                }
            }
        }
        Release(buffer);
    }
    if (!ArchiveSizeOk)
        ShowBadSize();
    return ArchiveSizeOk;
}
