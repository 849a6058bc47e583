#include "sfx_file.h"

#include "globals.h"
#include "zip_records.h"

namespace {

constexpr uint32_t MaxFileSize = 0x7FFFFFFF;   // the stub seeks with signed 32-bit offsets

// Finds the end record that, with its comment, ends exactly at the end of the
// archive: the one the stub's size check accepts.
bool FindEndRecord(const std::vector<uint8_t>& zip, size_t& at)
{
    if (zip.size() < EndRecordBytes)
        return false;
    size_t lowest = zip.size() > 65535 + EndRecordBytes ? zip.size() - 65535 - EndRecordBytes : 0;
    for (size_t i = zip.size() - EndRecordBytes + 1; i-- > lowest;) {
        if (Get32(zip, i) == EndRecordSignature && i + EndRecordBytes + Get16(zip, i + 20) == zip.size()) {
            at = i;
            return true;
        }
    }
    return false;
}

}  // namespace

const FlagSwitch FlagSwitches[6] = {
    {"hide-run-option", FlagShowRunOption, false},
    {"no-member-choice", FlagMemberChoice, false},
    {"hide-overwrite", FlagHideOverwrite, true},
    {"no-size-check", FlagNoSizeCheck, true},
    {"auto", FlagAuto, true},
    {"no-done-message", FlagNoDoneMessage, true},
};

const OverwriteChoice OverwriteChoices[3] = {
    {"always", FlagOverwriteAlways},
    {"never", FlagOverwriteNever},
    {"confirm", 0},
};

const char* OverwriteName(uint8_t flags)
{
    // Both bits together start with the question, as neither does.
    for (const OverwriteChoice& choice : OverwriteChoices)
        if ((flags & FlagOverwriteMask) == choice.bits)
            return choice.name;
    return "confirm";
}

const char* const MessageTypeNames[3] = {"ok", "okcancel", "yesno"};

bool EncodeBlock(const SfxBlock& block, std::vector<uint8_t>& bytes, std::string& error)
{
    std::string message = block.message;
    if (block.messageType == MessageType::OkCancel)
        message.insert(0, 1, '\x01');
    else if (block.messageType == MessageType::YesNo)
        message.insert(0, 1, '\x02');
    else if (!message.empty() && uint8_t(message[0]) < 7)
        message.insert(0, 1, '\x03');   // keeps a leading control byte from choosing a box type
    if (block.messageType != MessageType::Ok && block.message.empty()) {
        error = "a message type needs a message";
        return false;
    }
    const struct {
        const char* name;
        const std::string& text;
    } texts[] = {{"caption", block.caption},
                 {"destination", block.destination},
                 {"command", block.command},
                 {"message", message}};
    bytes = {'M', 'P', 'V', block.flags, 0x00, 0x01, 0, 0};
    for (const auto& t : texts) {
        if (t.text.size() > 255) {
            error = std::string("the ") + t.name + " is " + std::to_string(t.text.size()) +
                    " bytes long in Windows-1252; at most 255 fit";
            return false;
        }
        if (t.text.find('\0') != std::string::npos) {
            error = std::string("the ") + t.name + " holds a zero byte";
            return false;
        }
        bytes.push_back(uint8_t(t.text.size()));
        bytes.insert(bytes.end(), t.text.begin(), t.text.end());
    }
    bytes[6] = uint8_t(bytes.size());
    bytes[7] = uint8_t(bytes.size() >> 8);
    return true;
}

bool DecodeBlock(const std::vector<uint8_t>& file, SfxBlock& block, uint32_t& archiveOffset,
                 std::string& error)
{
    size_t at = StubSize;
    if (file.size() < at + 8 || file[at] != 'M' || file[at + 1] != 'P' || file[at + 2] != 'V') {
        error = "no configuration block (the marker MPV is not at offset " +
                std::to_string(StubSize) + ")";
        return false;
    }
    block = SfxBlock();
    block.flags = file[at + 3];
    archiveOffset = StubSize + Get16(file, at + 6);
    at += 8;
    std::string* texts[] = {&block.caption, &block.destination, &block.command, &block.message};
    for (std::string* text : texts) {
        if (at >= file.size() || at + 1 + file[at] > file.size()) {
            error = "the configuration block is cut short by the end of the file";
            return false;
        }
        text->assign(file.begin() + at + 1, file.begin() + at + 1 + file[at]);
        at += 1 + file[at];
        // The stub reads each text up to its first zero byte.
        text->resize(text->find('\0') == std::string::npos ? text->size() : text->find('\0'));
    }
    if (!block.message.empty() && uint8_t(block.message[0]) < 7) {
        if (block.message[0] == 1)
            block.messageType = MessageType::OkCancel;
        else if (block.message[0] == 2)
            block.messageType = MessageType::YesNo;
        block.message.erase(0, 1);
    }
    return true;
}

bool RelocateZip(const std::vector<uint8_t>& zip, uint32_t shift, std::vector<uint8_t>& out,
                 std::string& error)
{
    size_t end = 0;
    if (!FindEndRecord(zip, end)) {
        error = "not a ZIP archive: no end of central directory record ends the file";
        return false;
    }
    uint32_t disk = Get16(zip, end + 4);
    uint32_t cdDisk = Get16(zip, end + 6);
    uint32_t entries = Get16(zip, end + 10);
    uint32_t cdSize = Get32(zip, end + 12);
    uint32_t cdOffset = Get32(zip, end + 16);
    if (disk != 0 || cdDisk != 0 || Get16(zip, end + 8) != entries) {
        error = "multi-volume ZIP archives are not supported";
        return false;
    }
    if (entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) {
        error = "Zip64 archives are not supported";
        return false;
    }
    if (entries == 0) {
        error = "the archive holds no member";
        return false;
    }
    if (uint64_t(cdOffset) + cdSize != end) {
        error = "the central directory does not lie right before the end record "
                "(an archive with data in front of it, or a damaged one)";
        return false;
    }
    if (Get32(zip, 0) != LocalHeaderSignature) {
        error = "the archive does not start with a local file header";
        return false;
    }
    if (uint64_t(zip.size()) + shift > MaxFileSize) {
        error = "the self-extracting file would reach 2 GiB; the stub reads less than that";
        return false;
    }
    out = zip;
    size_t at = cdOffset;
    for (uint32_t i = 0; i < entries; i++) {
        if (at + CentralHeaderBytes > end || Get32(zip, at) != CentralHeaderSignature) {
            error = "the central directory is damaged (entry " + std::to_string(i + 1) + ")";
            return false;
        }
        uint32_t localOffset = Get32(zip, at + 42);
        if (localOffset == 0xFFFFFFFF) {
            error = "Zip64 archives are not supported";
            return false;
        }
        Set32(out, at + 42, localOffset + shift);
        at += CentralHeaderBytes + Get16(zip, at + 28) + Get16(zip, at + 30) + Get16(zip, at + 32);
    }
    Set32(out, end + 16, cdOffset + shift);
    return true;
}

bool BuildSfxFile(const std::vector<uint8_t>& stub, const SfxBlock& block,
                  const std::vector<uint8_t>& zip, std::vector<uint8_t>& out, std::string& error)
{
    if (stub.size() != StubSize) {
        error = "the stub is " + std::to_string(stub.size()) + " bytes; a stub image is exactly " +
                std::to_string(StubSize) + " bytes";
        return false;
    }
    std::vector<uint8_t> blockBytes;
    if (!EncodeBlock(block, blockBytes, error))
        return false;
    std::vector<uint8_t> moved;
    if (!RelocateZip(zip, uint32_t(stub.size() + blockBytes.size()), moved, error))
        return false;
    out = stub;
    out.insert(out.end(), blockBytes.begin(), blockBytes.end());
    out.insert(out.end(), moved.begin(), moved.end());
    return true;
}
