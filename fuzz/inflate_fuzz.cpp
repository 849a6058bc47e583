// Arbitrary bytes as one member's deflate data. The decoder must end without
// touching memory outside its buffers, never read past the member, and,
// wherever zlib finds the stream whole and valid, write exactly zlib's bytes.
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
    HostSink sink;
    OutFile = HostOpenSink(sink);
    CrcValue = 0xFFFFFFFF;
    InflateMember();
    Require(PlatSeekArchive(0, SeekFromCurrent) <= size);
    Require(sink.bytes.size() == sink.total);

    std::vector<uint8_t> zlib;
    if (ZlibInflate(std::vector<uint8_t>(data, data + size), zlib)) {
        Require(sink.bytes == zlib);
        Require(!MemberFailed);
        Require((CrcValue ^ 0xFFFFFFFF) == uint32_t(crc32(0, sink.bytes.data(), uInt(sink.bytes.size()))));
    }
    HostReset();
    return 0;
}
