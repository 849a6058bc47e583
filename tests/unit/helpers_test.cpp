#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "helpers.h"
#include "test_support.h"

namespace {

std::string Parent(const std::string& path)
{
    char out[MemberPathSize];
    ParentFolder(path.c_str(), out, sizeof out);
    return out;
}

std::string NamePart(const std::string& path)
{
    PathBuffer out;
    FileNamePart(path.c_str(), out, sizeof out);
    return out;
}

TEST(Helpers, ParentFolder)
{
    const struct {
        const char* path;
        const char* parent;
    } cases[] = {
        {"C:\\a\\b.txt", "C:\\a"}, {"C:\\b.txt", "C:\\"},  {"C:\\", "C:\\"},
        {"C:\\a\\", "C:\\a"},      {"C:ab", "C:"},         {"a/b", "a"},
        {"abc", ""},               {"\\a", ""},            {"\\\\server\\share", "\\\\server"},
        {"", ""},                  {"C:/x/y", "C:/x"},     {"C:/x", "C:/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parent(c.path), c.parent) << c.path;
}

TEST(Helpers, FileNamePart)
{
    const struct {
        std::string path;
        std::string name;
    } cases[] = {
        {"C:\\dir\\Setup.exe", "Setup.exe"},
        {"C:x", "x"},
        {"dir\\", ""},
        {"a/b/c.txt", "c.txt"},
        {"plain", "plain"},
        {std::string(300, 'n'), std::string(255, 'n')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamePart(c.path), c.name) << c.path;
}

TEST(Helpers, AppendAndRemoveBackslash)
{
    const struct {
        std::string text;
        std::string appended;
        std::string removed;
    } cases[] = {
        {"C:\\a", "C:\\a\\", "C:\\a"},
        {"C:\\a\\", "C:\\a\\", "C:\\a"},
        {"C:\\", "C:\\", "C:"},
        {"", "\\", ""},
        {std::string(259, 'x'), std::string(259, 'x') + "\\", std::string(259, 'x')},
        {std::string(260, 'x'), std::string(260, 'x'), std::string(260, 'x')},
    };
    for (const auto& c : cases) {
        PathBuffer buffer;
        CopyText(buffer, sizeof buffer, c.text.c_str());
        EXPECT_EQ(std::string(AppendBackslash(buffer)), c.appended) << c.text;
        CopyText(buffer, sizeof buffer, c.text.c_str());
        EXPECT_EQ(std::string(RemoveBackslash(buffer)), c.removed) << c.text;
    }
}

TEST(Helpers, TextFromBufferStopsAtZeroAndCount)
{
    char out[16];
    TextFromBuffer(out, sizeof out, "AB\0CD", 5);
    EXPECT_STREQ(out, "AB");
    TextFromBuffer(out, sizeof out, "ABCDE", 3);
    EXPECT_STREQ(out, "ABC");
    TextFromBuffer(out, sizeof out, "ABCDE", 0);
    EXPECT_STREQ(out, "");
    TextFromBuffer(out, 4, "ABCDEFGH", 8);   // cut to the target
    EXPECT_STREQ(out, "ABC");
}

TEST(Helpers, CopyAndAppendNeverOverrun)
{
    char out[6] = {'#', '#', '#', '#', '#', '#'};
    CopyText(out, 5, "abcdefgh");
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(out[5], '#');
    AppendText(out, 5, "zz");
    EXPECT_STREQ(out, "abcd");
    CopyText(out, 5, "ab");
    AppendText(out, 5, "xyz");
    EXPECT_STREQ(out, "abxy");
}

TEST(Helpers, FindChars)
{
    EXPECT_EQ(FindFirstChar("a|b|c", '|'), 1);
    EXPECT_EQ(FindLastChar("a|b|c", '|'), 3);
    EXPECT_EQ(FindFirstChar("abc", '|'), -1);
    EXPECT_EQ(FindLastChar("", '|'), -1);
    EXPECT_EQ(FindFirstChar("", '|'), -1);
    EXPECT_EQ(FindLastChar("|", '|'), 0);
}

TEST(Helpers, SameTextNoCase)
{
    EXPECT_TRUE(SameTextNoCase("setup.EXE", "Setup.exe"));
    EXPECT_TRUE(SameTextNoCase("", ""));
    EXPECT_FALSE(SameTextNoCase("Setup.exe", "Setup.exe "));
    EXPECT_FALSE(SameTextNoCase("\xe9", "\xc9"));   // accented letters are not folded
    EXPECT_FALSE(SameTextNoCase("a", "b"));
    EXPECT_FALSE(SameTextNoCase("[", "{"));          // only a to z fold
}

TEST(Helpers, SlashesToBackslashes)
{
    char text[] = "a/b\\c/";
    EXPECT_STREQ(SlashesToBackslashes(text), "a\\b\\c\\");
}

class PathTest : public ::testing::Test {
protected:
    void SetUp() override { HostReset(); }
    TempDir dir;
};

TEST_F(PathTest, PathExists)
{
    std::filesystem::create_directories(dir / "Temp");
    WriteFile(dir / "Temp/file.txt", "x");
    const struct {
        std::string text;
        bool exists;
    } cases[] = {
        {dir / "Temp", true},
        {dir / "Temp\\", true},
        {dir / "Temp/", false},   // searched as it is: a name ending in a separator
        {dir / "Temp\\file.txt", true},
        {dir / "Temp\\missing.txt", false},
        {dir / "Missing\\", false},
        {dir / "Temp\\*.txt", true},   // wildcards match as a search does
        {dir / "Temp\\*.doc", false},
        {"", false},
    };
    for (const auto& c : cases) {
        char text[MemberPathSize];
        CopyText(text, sizeof text, c.text.c_str());
        EXPECT_EQ(PathExists(text), c.exists) << c.text;
    }
}

TEST_F(PathTest, PathExistsTurnsTheCallersSlashes)
{
    std::filesystem::create_directories(dir / "Temp");
    std::string text = dir / "Temp";
    char buffer[MemberPathSize];
    CopyText(buffer, sizeof buffer, text.c_str());
    ASSERT_TRUE(PathExists(buffer));
    EXPECT_EQ(std::string(buffer).find('/'), std::string::npos);
}

TEST_F(PathTest, PathExistsReportsTooLongFolderTextsMissing)
{
    // An existing folder whose text, with its trailing backslash, does not fit
    // the search pattern: reported missing rather than searched cut short.
    std::string deep = dir.Path();
    while (deep.size() < 260)
        deep += "/" + std::string(40, 'd');
    std::filesystem::create_directories(deep);
    char text[MemberPathSize];
    CopyText(text, sizeof text, (deep + "\\").c_str());
    EXPECT_FALSE(PathExists(text));
    CopyText(text, sizeof text, deep.c_str());
    EXPECT_TRUE(PathExists(text));
}

TEST_F(PathTest, CreateFolderPathMakesEveryMissingLevel)
{
    std::filesystem::create_directories(dir / "x");
    CreateFolderPath((dir / "x\\y\\z\\").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "x/y/z"));
    CreateFolderPath((dir / "a/b").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b"));
}

TEST_F(PathTest, CreateFolderPathLeavesShortAndEndlessTextsAlone)
{
    // Texts under three characters, and a text that is its own parent, end
    // the recursion without creating anything.
    for (const char* text : {"", "C:", "C:\\", "ab"})
        CreateFolderPath(text);
    std::string self = dir / "abc:";
    CreateFolderPath(self.c_str());
    SUCCEED();
}

TEST_F(PathTest, CreateFolderPathRefusesTextsItCannotHold)
{
    std::string tooLong = dir / std::string(MemberPathSize, 'q');
    CreateFolderPath(tooLong.c_str());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
