#include "decrypt.h"

#include "crc32.h"
#include "globals.h"

uint32_t Key0 = 0;
uint32_t Key1 = 0;
uint32_t Key2 = 0;

void UpdateKeys(uint8_t plain)
{
    Key0 = UpdateCrc(plain, Key0);
    Key1 = (Key1 + (Key0 & 0xFF)) * 0x08088405u + 1;
    Key2 = UpdateCrc(uint8_t(Key1 >> 24), Key2);
}

void InitKeys(const char* password)
{
    Key0 = 0x12345678;
    Key1 = 0x23456789;
    Key2 = 0x34567890;
    while (*password != 0)
        UpdateKeys(uint8_t(*password++));
}

uint8_t DecryptByte()
{
    const uint32_t t = (Key2 & 0xFFFF) | 2;
    return uint8_t((t * (t ^ 1)) >> 8);
}

void DecryptBuffer(uint8_t* buffer, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        buffer[i] ^= DecryptByte();
        UpdateKeys(buffer[i]);
    }
}

bool CheckPassword(uint8_t* header, uint8_t headerLength, uint16_t flags, uint32_t crc32,
                   uint32_t timeDate, const char* password)
{
    // The buffer holds two copies of a 12-byte header and nothing more.
    constexpr uint8_t HeaderSize = 12;
    if (password[0] == 0 || headerLength != HeaderSize)
        return false;
    InitKeys(password);
    for (int i = 0; i < HeaderSize; i++) {
        header[i] = header[HeaderSize + i];
        DecryptBuffer(header + i, 1);
    }
    // With a data descriptor the encryptor did not know the CRC yet and
    // checked against the time instead.
    const uint8_t check = (flags & FlagDataDescriptor) ? uint8_t(timeDate >> 8) : uint8_t(crc32 >> 24);
    return header[HeaderSize - 1] == check;
}
