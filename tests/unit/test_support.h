// Small helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host.h"

// A fresh empty folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadAll(const std::string& path);
std::vector<uint8_t> Bytes(const std::string& s);
