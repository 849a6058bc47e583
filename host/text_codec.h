// Conversions between UTF-8 (the terminal, the command line) and
// Windows-1252 (the program's texts).
#pragma once

#include <string>

// False when a character has no Windows-1252 byte or the UTF-8 is malformed.
bool Utf8ToCp1252(const std::string& utf8, std::string& cp1252);
std::string Cp1252ToUtf8(const std::string& cp1252);
// Appends one code point (below 0x10000) in UTF-8.
void AppendUtf8(std::string& utf8, uint32_t codePoint);
