// Arbitrary passwords, encryption headers and member data through
// CheckPassword, the stored copy and the inflate. Two things must hold: any
// input ends without touching memory outside a buffer, and data encrypted
// here (with the cipher written anew from the application note) comes back
// unchanged through the engine's buffered decryption.
//
// Input: flags byte, password length byte, password, 12 header bytes, CRC
// (4), time and date (4), then the member data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crc32.h"
#include "decrypt.h"
#include "globals.h"
#include "host.h"
#include "inflate.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

uint32_t BitwiseCrcStep(uint32_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int k = 0; k < 8; k++)
        crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    return crc;
}

class Encryptor {
public:
    explicit Encryptor(const std::string& password)
    {
        for (char c : password)
            Mix(uint8_t(c));
    }
    uint8_t Encrypt(uint8_t plain)
    {
        const uint32_t t = (k_[2] & 0xFFFF) | 2;
        const uint8_t cipher = plain ^ uint8_t((t * (t ^ 1)) >> 8);
        Mix(plain);
        return cipher;
    }

private:
    void Mix(uint8_t plain)
    {
        k_[0] = BitwiseCrcStep(k_[0], plain);
        k_[1] = (k_[1] + (k_[0] & 0xFF)) * 134775813u + 1;
        k_[2] = BitwiseCrcStep(k_[2], uint8_t(k_[1] >> 24));
    }
    uint32_t k_[3] = {0x12345678, 0x23456789, 0x34567890};
};

uint32_t Get32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> RunMember(const std::vector<uint8_t>& data, uint16_t flags, bool deflated)
{
    HostOpenArchiveBytes(data);
    LocalHeader = LocalFileHeader{};
    LocalHeader.Flags = flags;
    CompressedLeft = int32_t(data.size());
    HostSink sink;
    OutFile = HostOpenSink(sink);
    CrcValue = 0xFFFFFFFF;
    if (deflated)
        InflateMember();
    else
        CopyStored();
    return sink.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (MakeCrcTable(), true);
    (void)ready;
    if (size < 2)
        return 0;
    const uint16_t flags = uint16_t(FlagEncrypted | (data[0] & 1 ? FlagDataDescriptor : 0));
    const bool deflated = data[0] & 2;
    const size_t passwordLength = data[1] % 80;
    if (size < 2 + passwordLength + 20)
        return 0;
    const std::string password(reinterpret_cast<const char*>(data + 2), passwordLength);
    const uint8_t* header = data + 2 + passwordLength;
    const uint32_t crc = Get32(header + 12);
    const uint32_t timeDate = Get32(header + 16);
    const std::vector<uint8_t> rest(header + 20, data + size);

    // Whatever the bytes, the check and the member run safely.
    uint8_t buffer[24] = {};
    std::memcpy(buffer + 12, header, 12);
    if (CheckPassword(buffer, 12, flags, crc, timeDate, password.c_str()))
        RunMember(rest, flags, deflated);

    // A header and data encrypted for the password decrypt back.
    if (password.find('\0') == std::string::npos && !password.empty()) {
        Encryptor cipher(password);
        uint8_t plainHeader[12];
        std::memcpy(plainHeader, header, 12);
        plainHeader[11] = uint8_t(flags & FlagDataDescriptor ? timeDate >> 8 : crc >> 24);
        for (int i = 0; i < 12; i++)
            buffer[12 + i] = cipher.Encrypt(plainHeader[i]);
        std::vector<uint8_t> encrypted(rest);
        for (uint8_t& b : encrypted)
            b = cipher.Encrypt(b);
        Require(CheckPassword(buffer, 12, flags, crc, timeDate, password.c_str()));
        Require(std::memcmp(buffer, plainHeader, 12) == 0);
        Require(RunMember(encrypted, flags, false) == rest);
    }
    HostReset();
    return 0;
}
