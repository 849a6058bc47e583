// Arbitrary bytes as everything that follows the stub image: configuration
// block, size check, listing and a whole extraction through the host
// platform into a fresh folder. Whatever the bytes, the run must end (the
// fuzzer's time limit), stay inside its buffers (ASan, UBSan), leak neither
// memory nor file handles, and write nothing outside the destination.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive.h"
#include "configuration.h"
#include "crc32.h"
#include "globals.h"
#include "helpers.h"
#include "host.h"
#include "member_list.h"

namespace fs = std::filesystem;

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

int OpenDescriptors()
{
    int count = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            count++;
        closedir(d);
    }
    return count;
}

// The destination lies three levels down a folder of its own, so that a
// name climbing out of it lands where the check below sees it.
std::string Top;
std::string Destination;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/quillex-archive-fuzz-XXXXXX";
    Require(mkdtemp(pattern) != nullptr);
    Top = pattern;
    Destination = Top + "/a/b/dest";
    std::atexit([] { fs::remove_all(Top); });
    MakeCrcTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fs::create_directories(Destination);
    int descriptors = OpenDescriptors();

    std::vector<uint8_t> file(StubSize, 0);
    file.insert(file.end(), data, data + size);
    HostReset();
    HostOpenArchiveBytes(file);
    HostSetProgramPath(size % 2 ? "C:\\t\\!fuzz.exe" : "C:\\t\\prog.exe");
    HostSetTempFolder(Destination + "/");
    HostSetDefaultPassword("secret");
    // A deflate bomb may unpack to far more than is worth writing here.
    HostFailWritesAfter(4 << 20);
    if (ReadConfiguration()) {
        HostDialog dialog;
        ProcessArchive(&dialog, 301, true);
        HostSelectAll(dialog.members);
        CopyText(DestinationFolder, sizeof DestinationFolder, Destination.c_str());
        OverwritePolicy = uint8_t(OverwriteMode - OverwriteAlways);
        ProcessArchive(&dialog, 301, false);
        // A second run over what is left, as "&Extraire" pressed again.
        ProcessArchive(&dialog, 301, false);
    }
    HostReset();

    Require(OpenDescriptors() == descriptors);
    for (const auto& entry : fs::recursive_directory_iterator(Top)) {
        std::string path = entry.path().string();
        bool inside = path.compare(0, Destination.size(), Destination) == 0 ||
                      Destination.compare(0, path.size(), path) == 0;
        Require(inside);
    }
    fs::remove_all(Destination);
    return 0;
}
