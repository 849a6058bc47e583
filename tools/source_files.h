// The files and folders a distributor names on the command line, turned into
// the members of the archive.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct SourceEntry {
    std::string path;       // on disk
    std::string name;       // member name: Windows-1252, "/" between parts, "/" after a folder
    bool folder = false;    // an empty folder, which gets an entry of its own
    time_t modified = 0;
    uint64_t size = 0;
};

struct FileId {
    dev_t device;
    ino_t inode;
};

// Collects the members: a file is packed under its own name, a folder's
// contents (all levels) under names relative to it, so that they land
// directly in the destination folder. Symbolic links are followed. Files in
// `skip` (the output being written) are left out. The entries come sorted by
// name. False, naming the file concerned, for anything the end user could not
// get back whole: a name that Windows-1252 or Windows cannot hold, two files
// that Windows takes for the same, a file too large, a device or pipe, a link
// that loops or leads nowhere, something unreadable.
bool CollectSources(const std::vector<std::string>& inputs, const std::vector<FileId>& skip,
                    std::vector<SourceEntry>& entries, std::string& error);
