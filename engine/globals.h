// State shared by the parts of the program. One thread runs everything, so
// these are plain module-level variables with fixed initial values.
#pragma once

#include <cstdint>

#include "platform.h"

// Size of the stub's executable image on disk; the configuration block starts
// at this offset of the self-extracting file.
constexpr uint32_t StubSize = 40448;

// A zero-terminated ANSI text of at most 260 characters.
constexpr uint32_t PathSize = 261;
typedef char PathBuffer[PathSize];
// A member's path: a destination folder, a backslash and a member name.
constexpr uint32_t NameBufferSize = 258;
constexpr uint32_t MemberPathSize = PathSize + 1 + NameBufferSize;

// The overwrite radio buttons of the main dialog; the policy in force is
// always the checked button's ID minus OverwriteAlways.
enum : int { OverwriteAlways = 501, OverwriteNever = 502, OverwriteConfirm = 503 };
enum : uint8_t { PolicyReplace = 0, PolicyKeep = 1, PolicyAsk = 2 };

// A ZIP local file header, decoded from its 30 bytes.
struct LocalFileHeader {
    uint32_t Signature;
    uint16_t VersionNeeded;
    uint16_t Flags;
    uint16_t Method;
    uint32_t TimeDate;   // ModTime in the low half, ModDate in the high half
    uint32_t Crc32;
    uint32_t CompressedSize;
    uint32_t UncompressedSize;
    uint16_t NameLength;
    uint16_t ExtraLength;
};
constexpr uint32_t LocalHeaderSize = 30;
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDataDescriptor = 0x0008;

constexpr uint32_t PasswordTextSize = 80;

// Archive access and extraction.
extern uint32_t ArchivePosition;
extern uint32_t ArchiveBase;
extern int32_t CompressedLeft;
extern LocalFileHeader LocalHeader;
extern uint32_t CrcValue;
extern OutputFile OutFile;
extern int32_t MemberListIndex;
extern PathBuffer DestinationFolder;
extern char Password[PasswordTextSize];
extern char PasswordText[PasswordTextSize];
extern int32_t PasswordLength;
extern uint8_t OverwritePolicy;
extern bool OverwriteAnswer;
extern PathBuffer ExistingFileName;
extern WindowRef MainWindow;

// Configuration, written once by ReadConfiguration.
extern PathBuffer WindowCaption;
extern PathBuffer DefaultFolder;
extern PathBuffer RunCommand;
extern PathBuffer StartMessage;
extern bool DestinationGiven;
extern bool CommandGiven;
extern bool StartMessageGiven;
extern bool ShowRunOption;
extern bool AllowMemberChoice;
extern bool HideOverwriteOptions;
extern int32_t OverwriteMode;
extern bool SizeCheckEnabled;
extern bool AutoExtract;
extern bool ShowDoneMessage;
extern bool ArchiveSizeOk;

// Puts every variable above back to its initial value (for tests and for a
// host tool that processes several files).
void ResetSharedState();
