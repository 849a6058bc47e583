#include "source_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "text_codec.h"
#include "zip_writer.h"

namespace {

// A single file must leave room for the stub and the archive's records.
constexpr uint64_t MaxFileSize = MaxSfxFileSize - 65536 - 40448;

struct Collector {
    const std::vector<FileId>& skip;
    std::vector<SourceEntry>& entries;
    std::string& error;
    std::vector<FileId> ancestors;   // folders being walked, to catch links that loop

    bool Skipped(const struct stat& info) const
    {
        return std::any_of(skip.begin(), skip.end(), [&info](const FileId& id) {
            return id.device == info.st_dev && id.inode == info.st_ino;
        });
    }

    bool Fail(const std::string& path, const std::string& why)
    {
        error = path + ": " + why;
        return false;
    }

    bool Add(const std::string& path, const std::string& utf8Name, const struct stat& info, bool folder)
    {
        SourceEntry entry;
        entry.path = path;
        entry.folder = folder;
        entry.modified = info.st_mtime;
        entry.size = folder ? 0 : uint64_t(info.st_size);
        if (!Utf8ToCp1252(utf8Name, entry.name))
            return Fail(path, "the name has characters that Windows-1252 cannot hold; "
                              "the self-extracting file cannot write it under that name");
        if (folder)
            entry.name += '/';
        std::string why;
        if (!CheckMemberName(entry.name, why))
            return Fail(path, why);
        if (entry.size > MaxFileSize)
            return Fail(path, "the file is " + std::to_string(entry.size) +
                              " bytes; a self-extracting file must stay below 2 GiB");
        entries.push_back(entry);
        return true;
    }

    // `name` is the folder's member name ("" for an input folder).
    bool Walk(const std::string& path, const std::string& name, const struct stat& info)
    {
        for (const FileId& id : ancestors)
            if (id.device == info.st_dev && id.inode == info.st_ino)
                return Fail(path, "a link leads back to a folder that contains it");
        DIR* folder = opendir(path.c_str());
        if (folder == nullptr)
            return Fail(path, std::string("cannot read the folder: ") + std::strerror(errno));
        std::vector<std::string> children;
        errno = 0;
        while (struct dirent* child = readdir(folder)) {
            if (std::strcmp(child->d_name, ".") != 0 && std::strcmp(child->d_name, "..") != 0)
                children.push_back(child->d_name);
        }
        int readError = errno;
        closedir(folder);
        if (readError != 0)
            return Fail(path, std::string("cannot read the folder: ") + std::strerror(readError));
        ancestors.push_back({info.st_dev, info.st_ino});
        size_t before = entries.size();
        for (const std::string& child : children) {
            std::string childPath = path + (path.back() == '/' ? "" : "/") + child;
            std::string childName = name.empty() ? child : name + "/" + child;
            if (!Visit(childPath, childName))
                return false;
        }
        ancestors.pop_back();
        // A folder that gives no member of its own still reaches the end user.
        if (entries.size() == before && !name.empty())
            return Add(path, name, info, true);
        return true;
    }

    bool Visit(const std::string& path, const std::string& name)
    {
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            struct stat link;
            if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
                return Fail(path, "the symbolic link leads nowhere");
            return Fail(path, std::strerror(errno));
        }
        if (Skipped(info))
            return true;
        if (S_ISDIR(info.st_mode))
            return Walk(path, name, info);
        if (!S_ISREG(info.st_mode))
            return Fail(path, "not a regular file or folder (a device, pipe or socket)");
        return Add(path, name, info, false);
    }
};

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CollectSources(const std::vector<std::string>& inputs, const std::vector<FileId>& skip,
                    std::vector<SourceEntry>& entries, std::string& error)
{
    entries.clear();
    Collector collector{skip, entries, error, {}};
    for (const std::string& input : inputs) {
        struct stat info;
        if (stat(input.c_str(), &info) != 0)
            return collector.Fail(input, std::strerror(errno));
        bool ok = S_ISDIR(info.st_mode) ? collector.Walk(input, "", info)
                                        : collector.Visit(input, BaseName(input));
        if (!ok)
            return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const SourceEntry& a, const SourceEntry& b) { return a.name < b.name; });

    // Windows does not tell letter case apart in file names: two members whose
    // names differ only there would end up as one file.
    std::map<std::string, const SourceEntry*> files, folders;
    auto clash = [&error](const SourceEntry& a, const SourceEntry& b, const char* what) {
        error = b.path + " and " + a.path + " would be " + what + " on Windows (\"" +
                Cp1252ToUtf8(a.name) + "\" and \"" + Cp1252ToUtf8(b.name) + "\")";
        return false;
    };
    for (const SourceEntry& entry : entries) {
        std::string key = FoldName(entry.name);
        if (!entry.folder) {
            if (files.count(key) != 0)
                return clash(entry, *files[key], "the same file");
            if (folders.count(key + "/") != 0)
                return clash(entry, *folders[key + "/"], "a file and a folder of the same name");
            files[key] = &entry;
        }
        // Every folder on the way, and the entry itself when it is a folder.
        for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
            std::string folder = key.substr(0, slash);
            if (files.count(folder) != 0)
                return clash(entry, *files[folder], "a file and a folder of the same name");
            folders.emplace(folder + "/", &entry);
        }
    }
    if (entries.empty()) {
        error = "nothing to pack: the inputs hold no file and no folder";
        return false;
    }
    return true;
}
