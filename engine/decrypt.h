// The traditional ZIP encryption: key registers, keystream, password check.
#pragma once

#include <cstdint>

extern uint32_t Key0, Key1, Key2;

void UpdateKeys(uint8_t plain);
void InitKeys(const char* password);
uint8_t DecryptByte();
// Decrypts `count` bytes in place, running the keys on.
void DecryptBuffer(uint8_t* buffer, uint32_t count);
// Tests `password` against a member's 12-byte encryption header: bytes 12 to
// 23 of `header` hold the header as stored, bytes 0 to 11 receive it
// decrypted. On true the keys stand at the member's first data byte.
bool CheckPassword(uint8_t* header, uint8_t headerLength, uint16_t flags, uint32_t crc32,
                   uint32_t timeDate, const char* password);
