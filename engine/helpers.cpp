#include "helpers.h"

#include "platform.h"

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Copies at most `count` bytes of `source` (stopping at its end) into
// `target`, cut to fit, and terminates it.
void CopyPrefix(char* target, uint32_t size, const char* source, uint32_t count)
{
    if (size == 0)
        return;
    uint32_t n = 0;
    while (n < count && n + 1 < size && source[n] != 0) {
        target[n] = source[n];
        n++;
    }
    target[n] = 0;
}

}  // namespace

void* Allocate(uint32_t size)
{
    void* block = PlatAllocate(size);
    if (block == nullptr)
        PlatOutOfMemory();
    return block;
}

void Release(void* block)
{
    if (block != nullptr)
        PlatRelease(block);
}

uint32_t TextLength(const char* text)
{
    uint32_t n = 0;
    while (text[n] != 0)
        n++;
    return n;
}

void CopyText(char* target, uint32_t size, const char* source)
{
    CopyPrefix(target, size, source, 0xFFFFFFFF);
}

void AppendText(char* target, uint32_t size, const char* source)
{
    uint32_t used = TextLength(target);
    if (used < size)
        CopyText(target + used, size - used, source);
}

void TextFromBuffer(char* target, uint32_t size, const char* bytes, uint16_t count)
{
    CopyPrefix(target, size, bytes, count);
}

uint32_t SeekArchive(int32_t offset, uint16_t origin)
{
    ArchivePosition = PlatSeekArchive(offset, origin);
    return ArchivePosition;
}

void ParentFolder(const char* path, char* target, uint32_t size)
{
    uint32_t length = TextLength(path);
    if (length == 3 && FindFirstChar(path, ':') >= 0) {
        CopyText(target, size, path);   // a drive root is its own parent
        return;
    }
    uint32_t n = 0;   // position from 1 of the last separator
    for (uint32_t i = 0; i < length; i++)
        if (IsSeparator(path[i]))
            n = i + 1;
    if (n == 0) {
        CopyPrefix(target, size, path, 0);
        return;
    }
    char last = path[n - 1];
    if (last == ':')
        CopyPrefix(target, size, path, n);
    else if (n == 3 && path[1] == ':')
        CopyPrefix(target, size, path, 3);   // the drive root keeps its separator
    else
        CopyPrefix(target, size, path, n - 1);
}

void FileNamePart(const char* path, char* target, uint32_t size)
{
    const char* name = path;
    for (const char* p = path; *p != 0; p++)
        if (IsSeparator(*p))
            name = p + 1;
    CopyPrefix(target, size, name, 255);
}

char* SlashesToBackslashes(char* text)
{
    for (char* p = text; *p != 0; p++)
        if (*p == '/')
            *p = '\\';
    return text;
}

bool PathExists(char* text)
{
    uint32_t length = TextLength(text);
    if (length == 0)
        return false;
    if (text[length - 1] != '\\')
        return PlatFindFirst(SlashesToBackslashes(text));
    if (length == 3 && text[0] >= 'A' && text[0] <= 'Z' && text[1] == ':')
        return PlatIsFolder(text);
    // A folder other than a root always holds the entry ".", so a search of
    // its contents finds something. A text too long for the pattern buffer
    // counts as missing.
    char pattern[255];
    if (length + 4 > sizeof pattern)
        return false;
    CopyText(pattern, sizeof pattern, text);
    AppendText(pattern, sizeof pattern, "*.*");
    return PlatFindFirst(SlashesToBackslashes(pattern));
}

void CreateFolderPath(const char* path)
{
    char folder[MemberPathSize];
    uint32_t length = TextLength(path);
    if (length >= sizeof folder)
        return;   // never create a cut-down path; the caller's test reports it
    CopyText(folder, sizeof folder, path);
    if (length > 0 && folder[length - 1] == '\\')
        folder[--length] = 0;
    if (length < 3)
        return;
    if (PathExists(folder))
        return;
    char parent[MemberPathSize];
    ParentFolder(folder, parent, sizeof parent);
    // A parent of the same length would recurse without end (a text such as
    // "abc:" is its own parent); only a shorter one is worth creating.
    if (TextLength(parent) < length)
        CreateFolderPath(parent);
    PlatCreateFolder(folder);
}

char* AppendBackslash(char* text)
{
    uint32_t length = TextLength(text);
    if ((length == 0 || text[length - 1] != '\\') && length < PathSize - 1) {
        text[length] = '\\';
        text[length + 1] = 0;
    }
    return text;
}

char* RemoveBackslash(char* text)
{
    uint32_t length = TextLength(text);
    if (length > 0 && text[length - 1] == '\\')
        text[length - 1] = 0;
    return text;
}

int FindLastChar(const char* text, char c)
{
    for (int i = int(TextLength(text)) - 1; i >= 0; i--)
        if (text[i] == c)
            return i;
    return -1;
}

int FindFirstChar(const char* text, char c)
{
    for (int i = 0; text[i] != 0; i++)
        if (text[i] == c)
            return i;
    return -1;
}

bool SameTextNoCase(const char* a, const char* b)
{
    if (TextLength(a) != TextLength(b))
        return false;
    for (; *a != 0; a++, b++)
        if (UpperAscii(*a) != UpperAscii(*b))
            return false;
    return true;
}

bool CreateSubfolder(const char* parent, const char* name)
{
    if (FindFirstChar(name, ':') >= 0)
        return false;
    while (*name == '\\')
        name++;
    if (*name == 0)
        return false;
    char path[MemberPathSize];
    CopyText(path, sizeof path, parent);
    AppendText(path, sizeof path, name);
    CreateFolderPath(path);
    char folder[MemberPathSize];
    CopyText(folder, sizeof folder, name);
    AppendText(folder, sizeof folder, "\\");
    if (!PathExists(folder))
        return false;
    PlatSetCurrentFolder(name);
    return true;
}
