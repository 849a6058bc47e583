// Arbitrary bytes as one member's deflate data. The decoder must end without
// touching memory outside its buffers, never read past the member, and,
// wherever zlib finds the stream whole and valid, write zlib's bytes (same
// size, same CRC-32).
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crc32.h"
#include "globals.h"
#include "host.h"
#include "inflate.h"
#include "inflate_internal.h"
#include "member_data.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (MakeCrcTable(), true);
    (void)ready;
    // What follows the member in the archive must stay unread.
    std::vector<uint8_t> archive(data, data + size);
    const char next[] = "PK\x03\x04 next member";
    archive.insert(archive.end(), next, next + sizeof next);
    HostOpenArchiveBytes(archive);
    LocalHeader = LocalFileHeader{};
    CompressedLeft = int32_t(size);
    // Only counted: the CRC and the size stand for the bytes.
    HostSink sink;
    sink.keep = false;
    OutFile = HostOpenSink(sink);
    CrcValue = 0xFFFFFFFF;
    InflateMember();
    Require(PlatSeekArchive(0, SeekFromCurrent) <= size);

    uint32_t crc = 0;
    uint64_t total = 0;
    const bool valid = ZlibInflate(std::vector<uint8_t>(data, data + size),
                                   [&](const uint8_t* p, size_t n) {
                                       crc = uint32_t(crc32(crc, p, uInt(n)));
                                       total += n;
                                   });
    if (valid) {
        Require(!MemberFailed);
        Require(sink.total == total);
        Require((CrcValue ^ 0xFFFFFFFF) == crc);
    }
    HostReset();
    return 0;
}
