// Reading a ZIP archive that a distributor made elsewhere, to ship it in a
// self-extracting file. The stub reads only local headers with their sizes
// and CRC, methods 0 and 8, the traditional encryption and Windows-1252
// names; an archive that needs anything else is either rewritten into that
// form here (without recompressing anything) or refused with the member that
// stands in the way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip_writer.h"

// Whether the bytes at the start of a file are those of a ZIP archive.
bool StartsLikeZip(const std::vector<uint8_t>& start);

struct InputMember {
    MemberHeader header;     // as it will be written: Windows-1252 name, sizes in the local header
    std::string shownName;   // the name in UTF-8, for messages
    uint64_t dataStart = 0;  // offset of the member's data in the input
    bool descriptor = false; // a data descriptor follows the data when written
};

struct ZipInput {
    std::vector<InputMember> members;
    std::string comment;
    // Why the archive cannot be shipped byte for byte (empty when it can).
    std::vector<std::string> rewriteReasons;
    // Things the distributor should know, such as names that the end user's
    // Windows takes for the same file.
    std::vector<std::string> warnings;
};

// Reads the archive through its central directory. False, with a message
// that names the member concerned, when the stub could not extract it.
bool ReadZipInput(const std::vector<uint8_t>& zip, ZipInput& input, std::string& error);

// The name of a member in Windows-1252, from what the archive says about its
// encoding: UTF-8 when flagged or given in a Unicode path field, the DOS code
// page for archives made on DOS or Windows, UTF-8 when the bytes are valid
// UTF-8, else the bytes as they are. False (with `error`) for a name that
// Windows-1252 cannot hold.
bool MemberNameToCp1252(const std::string& raw, uint16_t flags, uint16_t versionMadeBy,
                        const std::vector<uint8_t>& centralExtra, std::string& name,
                        std::string& error);
