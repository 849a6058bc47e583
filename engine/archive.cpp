#include "archive.h"

#include <cstring>

#include "crc32.h"
#include "decrypt.h"
#include "globals.h"
#include "helpers.h"
#include "inflate.h"
#include "texts.h"

namespace {

// The local header signature is built at run time so that the image holds
// no copy of it for a tool that searches files for archives to trip over.
// Volatile keeps the compiler from folding the decrement into a constant.
volatile uint32_t LocalSignature = 0;
constexpr uint32_t DescriptorSignature = 0x08074B50;
constexpr uint32_t DescriptorSize = 16;
constexpr uint32_t EncryptionHeaderSize = 12;
// The seek takes signed 32-bit offsets: nothing at or past 2 GiB is reached.
constexpr uint64_t LastPosition = 0x7FFFFFFF;

bool MemberReady = false;
char MemberName[NameBufferSize + 1] = "";
char MemberPath[MemberPathSize] = "";

enum class Outcome { NextMember, StopWalk, EndRun };

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t* p)
{
    return Le16(p) | uint32_t(Le16(p + 2)) << 16;
}

void ShowError(const char* text, const char* caption)
{
    PlatMessageBox(nullptr, text, caption, BoxIconStop);
}

void Deselect(WindowRef list)
{
    PlatListDeselect(list, MemberListIndex);
}

// The password stage of an encrypted member: the kept password first, then up
// to three answers to the question. False when none fits.
bool ObtainPassword()
{
    uint8_t header[2 * EncryptionHeaderSize];
    if (PlatReadArchive(header, EncryptionHeaderSize) != EncryptionHeaderSize)
        return false;
    std::memcpy(header + EncryptionHeaderSize, header, EncryptionHeaderSize);
    auto fits = [&header]() {
        return CheckPassword(header, EncryptionHeaderSize, LocalHeader.Flags, LocalHeader.Crc32,
                             LocalHeader.TimeDate, Password);
    };
    bool ready = Password[0] != 0 && fits();
    for (int attempt = 0; attempt < 3 && !ready; attempt++) {
        PlatAskPassword();
        int32_t length = PasswordLength < 0 ? 0 : PasswordLength;
        TextFromBuffer(Password, sizeof Password, PasswordText, uint16_t(length));
        ready = fits();
    }
    return ready;
}

// A streamed member (flag bit 3, written by a tool that could not seek back)
// has zero sizes and CRC in its local header; they follow its data in a data
// descriptor. The descriptor is found as the first signature whose size field
// equals its own distance from the data start, and its values are put into
// LocalHeader, so the member is read like any other. False when there is none.
bool FindStreamedSizes(uint32_t dataStart)
{
    constexpr uint32_t Chunk = 32768;
    constexpr uint32_t Overlap = DescriptorSize - 1;
    uint8_t* buffer = static_cast<uint8_t*>(Allocate(Chunk + Overlap));
    bool found = false;
    uint32_t have = 0;   // bytes in the buffer; the first is at offset `base`
    uint32_t base = 0;
    SeekArchive(int32_t(dataStart), SeekFromStart);
    for (;;) {
        uint32_t got = PlatReadArchive(buffer + have, Chunk);
        have += got;
        for (uint32_t i = 0; !found && i + DescriptorSize <= have; i++) {
            uint32_t offset = base + i;
            if (Le32(buffer + i) == DescriptorSignature && Le32(buffer + i + 8) == offset) {
                LocalHeader.Crc32 = Le32(buffer + i + 4);
                LocalHeader.CompressedSize = offset;
                LocalHeader.UncompressedSize = Le32(buffer + i + 12);
                found = true;
            }
        }
        if (found || got == 0 || uint64_t(dataStart) + base + have > LastPosition)
            break;
        uint32_t keep = have < Overlap ? have : Overlap;
        std::memmove(buffer, buffer + have - keep, keep);
        base += have - keep;
        have = keep;
    }
    Release(buffer);
    return found;
}

// `unusable`: the member is known to fail (its name was cut, or its sizes
// are unknown) and is only taken through its password stage.
Outcome ExtractMember(WindowRef list, uint32_t dataStart, bool unusable)
{
    MemberReady = false;
    SeekArchive(int32_t(dataStart), SeekFromStart);
    bool encrypted = (LocalHeader.Flags & FlagEncrypted) != 0;
    uint32_t dataSize = LocalHeader.CompressedSize;
    if (encrypted) {
        // A member too short to hold its encryption header cannot be right.
        if (dataSize < EncryptionHeaderSize) {
            MemberReady = true;
            return Outcome::NextMember;
        }
        if (!ObtainPassword())
            return Outcome::StopWalk;
        dataSize -= EncryptionHeaderSize;
    }
    MemberReady = true;

    // A name cut to fit its buffer, or one that would leave the destination
    // folder, is not written: its entry stays selected and the run says so.
    if (unusable || !IsSafeMemberName(MemberName))
        return Outcome::NextMember;

    AppendBackslash(DestinationFolder);
    RemoveBackslash(DestinationFolder);
    if (TextLength(DestinationFolder) + 1 + TextLength(MemberName) >= sizeof MemberPath)
        return Outcome::NextMember;
    CopyText(MemberPath, sizeof MemberPath, DestinationFolder);
    AppendText(MemberPath, sizeof MemberPath, "\\");
    AppendText(MemberPath, sizeof MemberPath, MemberName);

    if (PathExists(MemberPath)) {
        if (OverwritePolicy == PolicyKeep) {
            Deselect(list);
            return Outcome::NextMember;
        }
        if (OverwritePolicy == PolicyAsk) {
            FileNamePart(MemberPath, ExistingFileName, sizeof ExistingFileName);
            PlatAskOverwrite();
            if (!OverwriteAnswer) {
                Deselect(list);
                return Outcome::NextMember;
            }
        }
    } else {
        char memberFolder[MemberPathSize];
        ParentFolder(MemberPath, memberFolder, sizeof memberFolder);
        CreateFolderPath(memberFolder);
        if (!PathExists(memberFolder)) {
            ShowError(memberFolder, TXT_FOLDER_ERROR);
            return Outcome::StopWalk;
        }
    }

    OutFile = PlatCreateFile(MemberPath);
    if (OutFile == nullptr) {
        // A folder entry ends here: its folder exists and counts as done. A
        // file whose place a folder takes is not extracted, and says so.
        uint32_t length = TextLength(MemberPath);
        if (length > 0 && MemberPath[length - 1] == '\\' && PlatIsFolder(MemberPath))
            Deselect(list);
        else
            ShowError(MemberPath, TXT_OPEN_ERROR);
        return Outcome::NextMember;
    }

    Outcome outcome = Outcome::NextMember;
    PlatPumpOneMessage();
    CrcValue = 0xFFFFFFFF;
    CompressedLeft = int32_t(dataSize);
    // The message just handled may have moved the archive's position.
    SeekArchive(int32_t(dataStart + (encrypted ? EncryptionHeaderSize : 0)), SeekFromStart);
    if (LocalHeader.Method == 0) {
        CopyStored();
    } else if (LocalHeader.Method == 8) {
        InflateMember();
    } else {
        ShowError(TXT_BAD_METHOD, TXT_ERROR_CAPTION);
        outcome = Outcome::EndRun;
    }
    if (outcome == Outcome::NextMember && (CrcValue ^ 0xFFFFFFFF) == LocalHeader.Crc32)
        Deselect(list);

    PlatSetFileTime(OutFile, LocalHeader.TimeDate);
    if (!PlatCloseFile(OutFile))
        ShowError(MemberPath, TXT_CLOSE_ERROR);
    OutFile = nullptr;
    return outcome;
}

}  // namespace

bool ReadLocalHeader()
{
    // Data descriptors that carry their signature are stepped over, any
    // number of them in a row.
    for (;;) {
        uint8_t raw[LocalHeaderSize] = {};
        PlatReadArchive(raw, LocalHeaderSize);
        LocalHeader.Signature = Le32(raw);
        LocalHeader.VersionNeeded = Le16(raw + 4);
        LocalHeader.Flags = Le16(raw + 6);
        LocalHeader.Method = Le16(raw + 8);
        LocalHeader.TimeDate = Le32(raw + 10);
        LocalHeader.Crc32 = Le32(raw + 14);
        LocalHeader.CompressedSize = Le32(raw + 18);
        LocalHeader.UncompressedSize = Le32(raw + 22);
        LocalHeader.NameLength = Le16(raw + 26);
        LocalHeader.ExtraLength = Le16(raw + 28);
        if (LocalHeader.Signature == LocalSignature)
            return true;
        if (LocalHeader.Signature != DescriptorSignature)
            return false;
        if (uint64_t(ArchivePosition) + DescriptorSize > LastPosition)
            return false;
        SeekArchive(int32_t(ArchivePosition + DescriptorSize), SeekFromStart);
    }
}

bool IsMemberSelected(WindowRef list, const char* name)
{
    int first = PlatListFindExact(list, MemberListIndex, name);
    MemberListIndex = first;
    // Members of equal names that are not next to each other in the archive
    // can find an entry already done; an entry of that name still selected
    // is then this member's, so every copy gets extracted.
    for (int index = first; index >= 0;) {
        if (PlatListIsSelected(list, index) > 0) {
            MemberListIndex = index;
            return true;
        }
        index = PlatListFindExact(list, index, name);
        if (index == first)
            break;
    }
    return false;
}

void AnswerOverwriteQuestion(bool replace, bool dontAskAgain)
{
    if (dontAskAgain)
        OverwritePolicy = replace ? PolicyReplace : PolicyKeep;
    OverwriteAnswer = replace;
}

namespace {

// True when a path part names a device (CON, NUL, COM1, ...): Windows opens
// the device whatever folder the part stands in, and whatever follows a dot.
bool IsDeviceName(const char* part, const char* end)
{
    const char* dot = part;
    while (dot < end && *dot != '.')
        dot++;
    while (dot > part && dot[-1] == ' ')
        dot--;
    char base[8];
    uint32_t n = uint32_t(dot - part);
    if (n < 3 || n > 7)
        return false;
    for (uint32_t i = 0; i < n; i++)
        base[i] = (part[i] >= 'a' && part[i] <= 'z') ? char(part[i] - 'a' + 'A') : part[i];
    base[n] = 0;
    static const char* const Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : Devices)
        if (std::strcmp(base, device) == 0)
            return true;
    // COM1 to COM9 and LPT1 to LPT9, with the superscript digits too.
    bool port = n == 4 && (std::memcmp(base, "COM", 3) == 0 || std::memcmp(base, "LPT", 3) == 0);
    char digit = base[3];
    return port && ((digit >= '1' && digit <= '9') || digit == '\xB9' || digit == '\xB2' ||
                    digit == '\xB3');
}

}  // namespace

bool IsSafeMemberName(const char* name)
{
    if (name[0] == '/' || name[0] == '\\')
        return false;   // rooted, or a UNC prefix
    const char* part = name;
    for (const char* p = name;; p++) {
        if (*p == ':')
            return false;   // a drive letter, or a stream of a file
        if (*p == '/' || *p == '\\' || *p == 0) {
            // Windows drops trailing dots and spaces from a path part, so a
            // part of nothing else names the folder itself or its parent.
            bool onlyDots = p > part;
            for (const char* q = part; q < p; q++)
                if (*q != '.' && *q != ' ')
                    onlyDots = false;
            if (onlyDots || IsDeviceName(part, p))
                return false;
            if (*p == 0)
                return true;
            part = p + 1;
        }
    }
}

bool ProcessArchive(WindowRef dialog, int listId, bool listMode)
{
    LocalSignature = 0x04034B51;
    LocalSignature--;
    if (SeekArchive(int32_t(ArchiveBase), SeekFromStart) == 0xFFFFFFFF) {
        ShowError(TXT_READ_ERROR, TXT_ERROR_CAPTION);
        return false;
    }
    WindowRef list = PlatGetControl(dialog, listId);
    MemberListIndex = -1;
    MemberReady = false;
    if (listMode)
        PlatListReset(list);

    while (ReadLocalHeader()) {
        uint32_t headerPosition = ArchivePosition;
        uint16_t nameLength = LocalHeader.NameLength;
        // A name longer than its buffer is read cut short; the member is
        // listed under that name but never extracted.
        bool nameCut = nameLength > NameBufferSize;
        uint16_t taken = nameCut ? uint16_t(NameBufferSize) : nameLength;
        char nameBuffer[NameBufferSize];
        uint32_t got = PlatReadArchive(nameBuffer, taken);
        TextFromBuffer(MemberName, sizeof MemberName, nameBuffer, uint16_t(got));
        if (MemberName[0] == 0) {
            ShowError(TXT_BAD_NAME, TXT_ERROR_CAPTION);
            return false;
        }
        uint64_t dataStart = uint64_t(headerPosition) + LocalHeaderSize + nameLength +
                             LocalHeader.ExtraLength;
        if (dataStart > LastPosition)
            break;
        // Without its sizes a streamed member is listed but never extracted,
        // and the walk cannot find what follows it.
        bool streamed = (LocalHeader.Flags & FlagDataDescriptor) != 0 &&
                        LocalHeader.CompressedSize == 0;
        bool sizesKnown = !streamed || FindStreamedSizes(uint32_t(dataStart));
        uint64_t next = dataStart + LocalHeader.CompressedSize;
        if (listMode) {
            PlatListAdd(list, MemberName);
        } else if (IsMemberSelected(list, MemberName)) {
            // Data that would reach past 2 GiB is not in any file the seek
            // can read: such a member fails, whatever its CRC says.
            Outcome outcome = ExtractMember(list, uint32_t(dataStart),
                                            nameCut || !sizesKnown || next > LastPosition);
            if (outcome == Outcome::EndRun)
                return false;
            if (outcome == Outcome::StopWalk)
                break;
        }
        // The walk only moves forward and stays where the seek can reach.
        if (!sizesKnown || next > LastPosition)
            break;
        SeekArchive(int32_t(next), SeekFromStart);
    }

    if (listMode) {
        if (PlatListCount(list) == 0)
            ShowError(TXT_READ_ERROR, TXT_ERROR_CAPTION);
        return false;
    }
    if (!MemberReady)
        return false;
    if (PlatListSelectedCount(list) != 0) {
        ShowError(TXT_SOME_FAILED, TXT_ERROR_CAPTION);
        return false;
    }
    if (!AutoExtract && ShowDoneMessage)
        PlatMessageBox(nullptr, TXT_ALL_DONE, TXT_DONE_CAPTION, BoxOk);
    return true;
}
