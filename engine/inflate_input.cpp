// The member's bytes on their way in (buffered, bounded by CompressedLeft,
// decrypted) and out (the window flush and the stored copy).
#include "crc32.h"
#include "decrypt.h"
#include "globals.h"
#include "helpers.h"
#include "inflate.h"
#include "inflate_internal.h"

uint8_t* InBuffer = nullptr;
uint16_t InPos = 0;
uint32_t InCount = 0;
uint64_t BitBuffer = 0;
uint16_t BitCount = 0;
uint8_t* Window = nullptr;
uint16_t WindowPos = 0;
uint32_t PastEnd = 0;
bool WindowFull = false;

namespace {

bool Encrypted()
{
    return (LocalHeader.Flags & FlagEncrypted) != 0;
}

// Never asks for more than the member has left, so the next member's header
// stays unread.
uint32_t ReadChunk(uint8_t* target)
{
    const uint32_t want = CompressedLeft < int32_t(InBufferSize) ? uint32_t(CompressedLeft)
                                                                 : InBufferSize;
    uint32_t got = PlatReadArchive(target, want);
    if (got > want)
        got = want;
    if (Encrypted())
        DecryptBuffer(target, got);
    return got;
}

// Adds to the CRC only what the write took, so a full disk fails the check.
void WriteOut(const uint8_t* source, uint32_t count)
{
    uint32_t written = PlatWriteFile(OutFile, source, count);
    if (written > count)
        written = count;
    CrcBuffer(source, int32_t(written), CrcValue);
    // A large member takes seconds: one waiting message per block written
    // keeps the window painted and the program answering the system. The
    // dialog's controls are disabled for the run, so no second run can start.
    PlatPumpOneMessage();
}

}  // namespace

int ReadByte()
{
    if (InPos >= InCount) {
        InCount = ReadChunk(InBuffer);
        InPos = 0;
        if (InCount == 0) {
            CompressedLeft = 0;
            return -1;
        }
    }
    return InBuffer[InPos++];
}

int NextByte()
{
    if (CompressedLeft <= 0) {
        PastEnd++;
        return -1;
    }
    const int c = ReadByte();
    CompressedLeft--;
    if (c < 0)
        PastEnd++;
    return c;
}

void FlushWindow(uint32_t n)
{
    WriteOut(Window, n);
    WindowFull = true;
}

void CopyStored()
{
    // A negative size (an encrypted member shorter than its header) has
    // nothing to copy, and must not turn into a huge buffer request.
    if (CompressedLeft <= 0)
        return;
    uint8_t* buffer = static_cast<uint8_t*>(
        Allocate(CompressedLeft < int32_t(InBufferSize) ? uint32_t(CompressedLeft) : InBufferSize));
    while (CompressedLeft > 0) {
        const uint32_t n = ReadChunk(buffer);
        if (n == 0) {
            CompressedLeft = 0;
            break;
        }
        CompressedLeft -= int32_t(n);
        WriteOut(buffer, n);
    }
    Release(buffer);
}
