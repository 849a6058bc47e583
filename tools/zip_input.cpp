#include "zip_input.h"

#include <algorithm>
#include <map>

#include "text_codec.h"
#include "zip_records.h"

namespace {

constexpr uint16_t Zip64ExtraId = 0x0001;
constexpr uint16_t UnicodePathExtraId = 0x7075;

// Code points of the bytes 0x80 to 0xFF in the DOS code page (437), which the
// ZIP format takes for names without the UTF-8 flag.
const uint16_t Dos437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

bool IsAscii(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; });
}

bool IsValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        uint8_t b = uint8_t(s[i]);
        size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || (n == 2 && b < 0xC2) || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; k++)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// The extra fields of a record, each as (id, data).
bool SplitExtra(const std::vector<uint8_t>& extra,
                std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& fields)
{
    fields.clear();
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        uint16_t id = uint16_t(Get16(extra, at));
        size_t size = Get16(extra, at + 2);
        if (at + 4 + size > extra.size())
            return false;
        fields.push_back({id, std::vector<uint8_t>(extra.begin() + long(at + 4),
                                                   extra.begin() + long(at + 4 + size))});
        at += 4 + size;
    }
    return at == extra.size();
}

// The extra fields without those that the rewritten member no longer needs or
// that would contradict it (Zip64 sizes, a name in another encoding). An
// extra block that does not parse is dropped whole.
std::vector<uint8_t> KeptExtra(const std::vector<uint8_t>& extra)
{
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> fields;
    std::vector<uint8_t> kept;
    if (!SplitExtra(extra, fields))
        return kept;
    for (const auto& field : fields) {
        if (field.first == Zip64ExtraId || field.first == UnicodePathExtraId || field.first == 0x6375)
            continue;
        kept.push_back(uint8_t(field.first));
        kept.push_back(uint8_t(field.first >> 8));
        kept.push_back(uint8_t(field.second.size()));
        kept.push_back(uint8_t(field.second.size() >> 8));
        kept.insert(kept.end(), field.second.begin(), field.second.end());
    }
    return kept;
}

const char* MethodName(uint16_t method)
{
    switch (method) {
    case 1: return " (shrunk)";
    case 6: return " (imploded)";
    case 9: return " (Deflate64)";
    case 12: return " (bzip2)";
    case 14: return " (LZMA)";
    case 93: return " (Zstandard)";
    case 95: return " (xz)";
    case 98: return " (PPMd)";
    default: return "";
    }
}

// Finds the end record: the one whose comment ends the file, else the last
// one before bytes that follow the archive.
bool FindEnd(const std::vector<uint8_t>& zip, uint64_t& at, bool& trailing)
{
    if (zip.size() < 22)
        return false;
    uint64_t lowest = zip.size() > 22 + 65535 ? zip.size() - 22 - 65535 : 0;
    bool found = false;
    for (uint64_t i = zip.size() - 22 + 1; i-- > lowest;) {
        if (Get32(zip, i) != EndRecordSignature)
            continue;
        uint64_t end = i + 22 + Get16(zip, i + 20);
        if (end == zip.size()) {
            at = i;
            trailing = false;
            return true;
        }
        if (end < zip.size() && !found) {
            at = i;
            found = true;
        }
    }
    trailing = found;
    return found;
}

}  // namespace

bool StartsLikeZip(const std::vector<uint8_t>& start)
{
    return start.size() >= 4 && start[0] == 'P' && start[1] == 'K' &&
           ((start[2] == 3 && start[3] == 4) || (start[2] == 5 && start[3] == 6));
}

bool MemberNameToCp1252(const std::string& raw, uint16_t flags, uint16_t versionMadeBy,
                        const std::vector<uint8_t>& centralExtra, std::string& name,
                        std::string& error)
{
    std::string utf8;
    bool haveUtf8 = false;
    if (flags & ZipFlagUtf8) {
        utf8 = raw;
        haveUtf8 = true;
    } else {
        std::vector<std::pair<uint16_t, std::vector<uint8_t>>> fields;
        SplitExtra(centralExtra, fields);
        for (const auto& field : fields) {
            const std::vector<uint8_t>& d = field.second;
            // The field counts only while it belongs to the name it stands beside.
            if (field.first == UnicodePathExtraId && d.size() >= 5 && d[0] == 1 &&
                Get32(d, 1) == Crc32(reinterpret_cast<const uint8_t*>(raw.data()), raw.size())) {
                utf8.assign(d.begin() + 5, d.end());
                haveUtf8 = true;
            }
        }
    }
    if (!haveUtf8 && !IsAscii(raw)) {
        uint8_t host = uint8_t(versionMadeBy >> 8);
        if (host == 0 || host == 6 || host == 11 || host == 14) {   // FAT, HPFS, NTFS, VFAT
            for (char c : raw)
                AppendUtf8(utf8, uint8_t(c) < 0x80 ? uint8_t(c) : Dos437[uint8_t(c) - 0x80]);
            haveUtf8 = true;
        } else if (IsValidUtf8(raw)) {
            utf8 = raw;
            haveUtf8 = true;
        }
    }
    if (!haveUtf8) {
        name = raw;
        return true;
    }
    if (!Utf8ToCp1252(utf8, name)) {
        error = IsValidUtf8(utf8) ? "Windows-1252 cannot hold the characters of its name"
                                  : "its name is not valid UTF-8 although the archive says it is";
        return false;
    }
    return true;
}

bool ReadZipInput(const std::vector<uint8_t>& zip, ZipInput& input, std::string& error)
{
    input = ZipInput();
    auto reason = [&input](const std::string& why) {
        if (std::find(input.rewriteReasons.begin(), input.rewriteReasons.end(), why) ==
            input.rewriteReasons.end())
            input.rewriteReasons.push_back(why);
    };
    uint64_t end = 0;
    bool trailing = false;
    if (!FindEnd(zip, end, trailing)) {
        error = "not a ZIP archive: it has no end of central directory record";
        return false;
    }
    if (trailing)
        reason("bytes follow the archive's end record");
    input.comment.assign(zip.begin() + long(end + 22), zip.begin() + long(end + 22 + Get16(zip, end + 20)));
    uint64_t entries = Get16(zip, end + 10);
    uint64_t centralSize = Get32(zip, end + 12);
    uint64_t centralOffset = Get32(zip, end + 16);
    uint64_t centralEnd = end;
    bool multiVolume = Get16(zip, end + 4) != 0 || Get16(zip, end + 6) != 0 ||
                       Get16(zip, end + 8) != entries;
    if (end >= 20 && Get32(zip, end - 20) == Zip64LocatorSignature) {
        // The Zip64 end record normally stands right before its locator.
        uint64_t at = end >= 76 && Get32(zip, end - 76) == Zip64EndRecordSignature ? end - 76
                                                                             : Get64(zip, end - 12);
        if (at > end || end - at < 56 || Get32(zip, at) != Zip64EndRecordSignature) {
            error = "the Zip64 end record is damaged";
            return false;
        }
        multiVolume = Get32(zip, at + 16) != 0 || Get32(zip, at + 20) != 0 ||
                      Get64(zip, at + 24) != Get64(zip, at + 32);
        entries = Get64(zip, at + 32);
        centralSize = Get64(zip, at + 40);
        centralOffset = Get64(zip, at + 48);
        centralEnd = at;
        reason("the archive uses Zip64 records");
    }
    if (multiVolume) {
        error = "multi-volume (split) ZIP archives are not supported";
        return false;
    }
    if (entries == 0) {
        error = "the archive holds no member";
        return false;
    }
    if (centralSize > centralEnd) {
        error = "the central directory is damaged (its size exceeds the archive)";
        return false;
    }
    uint64_t centralStart = centralEnd - centralSize;
    // Bytes in front of the archive (or a damaged offset) move every member
    // by the same amount, as ZIP tools assume.
    int64_t delta = int64_t(centralStart) - int64_t(centralOffset);
    if (delta != 0)
        reason("the archive's offsets are off by " + std::to_string(delta) +
               " bytes (bytes stand in front of it)");

    struct Span {
        uint64_t start, end;
    };
    std::vector<Span> spans;
    std::map<std::string, std::string> folded;
    uint64_t at = centralStart;
    for (uint64_t i = 0; i < entries; i++) {
        if (at + 46 > centralEnd || Get32(zip, at) != CentralHeaderSignature) {
            error = "the central directory is damaged (entry " + std::to_string(i + 1) + ")";
            return false;
        }
        uint16_t versionMadeBy = uint16_t(Get16(zip, at + 4));
        uint16_t flags = uint16_t(Get16(zip, at + 8));
        uint16_t method = uint16_t(Get16(zip, at + 10));
        uint32_t timeDate = Get32(zip, at + 12);
        uint32_t crc = Get32(zip, at + 16);
        uint64_t compressedSize = Get32(zip, at + 20);
        uint64_t size = Get32(zip, at + 24);
        uint32_t nameLength = Get16(zip, at + 28);
        uint32_t extraLength = Get16(zip, at + 30);
        uint32_t commentLength = Get16(zip, at + 32);
        uint32_t disk = Get16(zip, at + 34);
        uint16_t internalAttributes = uint16_t(Get16(zip, at + 36));
        uint32_t externalAttributes = Get32(zip, at + 38);
        uint64_t localOffset = Get32(zip, at + 42);
        uint64_t next = at + 46 + nameLength + extraLength + commentLength;
        if (next > centralEnd) {
            error = "the central directory is damaged (entry " + std::to_string(i + 1) + ")";
            return false;
        }
        std::string raw(zip.begin() + long(at + 46), zip.begin() + long(at + 46 + nameLength));
        std::vector<uint8_t> centralExtra(zip.begin() + long(at + 46 + nameLength),
                                          zip.begin() + long(at + 46 + nameLength + extraLength));
        InputMember member;
        member.shownName = Cp1252ToUtf8(raw);
        member.header.comment.assign(zip.begin() + long(at + 46 + nameLength + extraLength),
                                     zip.begin() + long(next));
        at = next;
        std::string nameError;
        std::string name;
        bool named = MemberNameToCp1252(raw, flags, versionMadeBy, centralExtra, name, nameError);
        if (named)
            member.shownName = Cp1252ToUtf8(name);
        auto refuse = [&](const std::string& why) {
            error = "member \"" + member.shownName + "\": " + why;
            return false;
        };
        if (!named)
            return refuse(nameError);

        std::vector<std::pair<uint16_t, std::vector<uint8_t>>> fields;
        SplitExtra(centralExtra, fields);
        for (const auto& field : fields) {
            if (field.first != Zip64ExtraId)
                continue;
            // Only the fields the record marks as too large are present.
            const std::vector<uint8_t>& d = field.second;
            size_t p = 0;
            for (uint64_t* value : {&size, &compressedSize, &localOffset}) {
                if (*value == 0xFFFFFFFF && p + 8 <= d.size()) {
                    *value = Get64(d, p);
                    p += 8;
                }
            }
            if (disk == 0xFFFF && p + 4 <= d.size())
                disk = Get32(d, p);
            reason("the archive uses Zip64 records");
        }
        if (disk != 0)
            return refuse("it lies on another volume of a split archive");
        if (method == 99)
            return refuse("it is encrypted with AES, which the self-extracting file cannot decrypt; "
                          "only the traditional ZIP encryption (zip -e, quillex --password) works");
        if (flags & 0x0040)
            return refuse("it uses strong encryption, which the self-extracting file cannot decrypt");
        if (flags & 0x2000)
            return refuse("the archive's central directory is encrypted");
        if (method != 0 && method != 8)
            return refuse("it is compressed with method " + std::to_string(method) + MethodName(method) +
                          "; the self-extracting file reads only stored and deflated members. "
                          "Make the archive with deflate, or give the files themselves");
        if (size > 0xFFFFFFFF || compressedSize >= MaxSfxFileSize)
            return refuse("it is too large for a self-extracting file (its size must stay below 2 GiB)");

        int64_t local = int64_t(localOffset) + delta;
        if (local < 0 || uint64_t(local) + 30 > zip.size() || Get32(zip, uint64_t(local)) != LocalHeaderSignature)
            return refuse("its local header is not where the central directory says");
        uint64_t localAt = uint64_t(local);
        uint32_t localFlags = Get16(zip, localAt + 6);
        uint32_t localNameLength = Get16(zip, localAt + 26);
        uint32_t localExtraLength = Get16(zip, localAt + 28);
        member.dataStart = localAt + 30 + localNameLength + localExtraLength;
        if (member.dataStart + compressedSize > zip.size())
            return refuse("its data runs past the end of the archive");
        std::string localName(zip.begin() + long(localAt + 30),
                              zip.begin() + long(localAt + 30 + localNameLength));
        std::vector<uint8_t> localExtra(zip.begin() + long(localAt + 30 + localNameLength),
                                        zip.begin() + long(member.dataStart));

        uint64_t recordEnd = member.dataStart + compressedSize;
        bool descriptorInput = (flags & ZipFlagDescriptor) != 0;
        if (descriptorInput) {
            reason("members with data descriptors (sizes and CRC behind the data)");
            bool zip64Sizes = Get32(zip, localAt + 18) == 0xFFFFFFFF;
            uint64_t length = zip64Sizes ? 20 : 12;
            if (recordEnd + 4 <= zip.size() && Get32(zip, recordEnd) == DataDescriptorSignature)
                length += 4;
            recordEnd += length;
        } else if (localFlags != flags || Get16(zip, localAt + 8) != method ||
                   Get32(zip, localAt + 14) != crc ||
                   (Get32(zip, localAt + 18) != compressedSize && Get32(zip, localAt + 18) != 0xFFFFFFFF) ||
                   (Get32(zip, localAt + 22) != size && Get32(zip, localAt + 22) != 0xFFFFFFFF)) {
            reason("local headers that disagree with the central directory");
        }
        if (localName != raw)
            reason("local headers whose names differ from the central directory");
        spans.push_back({localAt, recordEnd});

        if (name.find('\\') != std::string::npos) {
            std::replace(name.begin(), name.end(), '\\', '/');
            reason("names with backslashes (they become slashes)");
        }
        if (name != raw)
            reason("names converted to Windows-1252, the code page the self-extracting file reads");
        std::string why;
        if (!CheckMemberName(name, why))
            return refuse(why);
        std::string key = FoldName(name);
        auto seen = folded.find(key);
        if (seen != folded.end())
            input.warnings.push_back(
                seen->second == name
                    ? "the archive holds \"" + member.shownName + "\" twice; the end user gets one of them"
                    : "\"" + Cp1252ToUtf8(seen->second) + "\" and \"" + member.shownName +
                          "\" are the same file on Windows; the end user gets one of them");
        else
            folded[key] = name;

        MemberHeader& h = member.header;
        h.name = name;
        h.versionMadeBy = versionMadeBy;
        h.versionNeeded = uint16_t(method == 8 || (flags & ZipFlagEncrypted) || name.back() == '/' ? 20 : 10);
        bool encrypted = (flags & ZipFlagEncrypted) != 0;
        // An encrypted member's password check byte depends on this flag, so
        // such a member keeps it, with a data descriptor behind it as the flag
        // promises; the others lose both.
        member.descriptor = encrypted && descriptorInput;
        h.flags = uint16_t(flags & ~ZipFlagUtf8 & ~(member.descriptor ? 0 : ZipFlagDescriptor));
        h.method = method;
        h.timeDate = timeDate;
        h.crc = crc;
        h.compressedSize = uint32_t(compressedSize);
        h.uncompressedSize = uint32_t(size);
        h.localExtra = KeptExtra(localExtra);
        h.centralExtra = KeptExtra(centralExtra);
        h.internalAttributes = internalAttributes;
        h.externalAttributes = externalAttributes;
        // Info-ZIP's unzip misjudges the length of a member that has both a
        // data descriptor and a Unicode path field, and takes the archive for
        // a zip bomb.
        if (!member.descriptor)
            AddUnicodePathExtra(h);
        input.members.push_back(member);
    }
    if (at != centralEnd)
        reason("bytes stand between the central directory and the end record");

    // The stub walks from one local header to the next: the members must
    // follow each other from the archive's first byte up to the directory.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    uint64_t expected = 0;
    for (const Span& span : spans) {
        if (span.start != expected) {
            reason(span.start > expected ? "bytes stand between members or in front of the first one"
                                         : "members overlap");
            break;
        }
        expected = span.end;
    }
    if (expected != centralStart)
        reason("bytes stand between the last member and the central directory");
    return true;
}
