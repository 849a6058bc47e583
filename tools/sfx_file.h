// The layout of a self-extracting file as the distributor's tool writes and
// reads it: the stub image, the configuration block, the ZIP archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Flag bits of the configuration block.
enum : uint8_t {
    FlagShowRunOption = 0x01,
    FlagMemberChoice = 0x02,
    FlagHideOverwrite = 0x04,
    FlagOverwriteAlways = 0x08,
    FlagOverwriteNever = 0x10,
    FlagOverwriteMask = 0x18,
    FlagNoSizeCheck = 0x20,
    FlagAuto = 0x40,
    FlagNoDoneMessage = 0x80,
};

// The switches of `quillex build` that each turn one flag bit, named as
// `quillex info` prints them back. `sets` tells whether the switch sets its
// bit or clears it.
struct FlagSwitch {
    const char* name;
    uint8_t bit;
    bool sets;
};
extern const FlagSwitch FlagSwitches[6];
inline bool SwitchInEffect(const FlagSwitch& s, uint8_t flags)
{
    return ((flags & s.bit) != 0) == s.sets;
}

// The values of --overwrite, with the bits 3-4 each stands for.
struct OverwriteChoice {
    const char* name;
    uint8_t bits;
};
extern const OverwriteChoice OverwriteChoices[3];
// The name of the policy that `flags` starts with.
const char* OverwriteName(uint8_t flags);

enum class MessageType { Ok, OkCancel, YesNo };
extern const char* const MessageTypeNames[3];

// The block's contents. Texts are Windows-1252 bytes, at most 255 each; the
// message is kept without the byte that selects its box type.
struct SfxBlock {
    uint8_t flags = FlagShowRunOption | FlagMemberChoice;
    std::string caption;
    std::string destination;
    std::string command;
    std::string message;
    MessageType messageType = MessageType::Ok;
};

// The block's bytes; false (with a reason) when a text is too long.
bool EncodeBlock(const SfxBlock& block, std::vector<uint8_t>& bytes, std::string& error);
// Reads the block that starts at the stub size. `archiveOffset` receives where
// the stub will look for the first local header.
bool DecodeBlock(const std::vector<uint8_t>& file, SfxBlock& block, uint32_t& archiveOffset,
                 std::string& error);

// Checks that `zip` is a ZIP archive the stub can walk and gives it back with
// every offset of its central directory and end record moved by `shift`, the
// number of bytes that will stand before it.
bool RelocateZip(const std::vector<uint8_t>& zip, uint32_t shift, std::vector<uint8_t>& out,
                 std::string& error);

// Stub + block + archive, with the checks of the three functions above and of
// the stub's size.
bool BuildSfxFile(const std::vector<uint8_t>& stub, const SfxBlock& block,
                  const std::vector<uint8_t>& zip, std::vector<uint8_t>& out, std::string& error);
