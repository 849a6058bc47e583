#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configuration.h"
#include "globals.h"
#include "test_support.h"
#include "texts.h"

namespace {

// A configuration block with the given flags, texts and (when not 0) a block
// length field that disagrees with the texts.
std::string Block(uint8_t flags, const std::string& caption = "", const std::string& dest = "",
                  const std::string& command = "", const std::string& message = "",
                  int lengthField = 0)
{
    std::string b = "MPV";
    b += char(flags);
    b += std::string("\x00\x01", 2);
    int length = lengthField ? lengthField : int(12 + caption.size() + dest.size() +
                                                  command.size() + message.size());
    b += char(length & 0xFF);
    b += char(length >> 8);
    for (const std::string* t : {&caption, &dest, &command, &message}) {
        b += char(t->size());
        b += *t;
    }
    return b;
}

// A small archive part: one local header's worth of bytes, then an end record
// with a comment of the given length.
std::string Archive(size_t commentLength = 0)
{
    std::string a = "PK\x03\x04" + std::string(26, '\0');
    a += "PK\x05\x06" + std::string(16, '\0');
    a += char(commentLength & 0xFF);
    a += char(commentLength >> 8);
    a += std::string(commentLength, 'c');
    return a;
}

std::string Stub()
{
    return std::string(StubSize, 'S');
}

class Configuration : public ::testing::Test {
protected:
    void SetUp() override { HostReset(); }
    void TearDown() override { HostReset(); }

    bool Read(const std::string& file, const std::string& programPath = "C:\\dl\\prog.exe")
    {
        HostOpenArchiveBytes(Bytes(file));
        HostSetProgramPath(programPath);
        return ReadConfiguration();
    }
    void ExpectOnlyBadSizeBox()
    {
        ASSERT_EQ(HostBoxes().size(), 1u);
        EXPECT_EQ(HostBoxes()[0].text, TXT_BAD_SIZE);
        EXPECT_EQ(HostBoxes()[0].caption, TXT_ERROR_CAPTION);
        EXPECT_EQ(HostBoxes()[0].type, 0x10u);
        EXPECT_EQ(HostBoxes()[0].owner, nullptr);
    }
};

TEST_F(Configuration, FlagsByte)
{
    const struct {
        uint8_t flags;
        bool showRun, memberChoice, hideOverwrite;
        int overwriteMode;
        bool sizeCheck, doneMessage;
    } cases[] = {
        {0x00, false, false, false, 503, true, true},
        {0x01, true, false, false, 503, true, true},
        {0x02, false, true, false, 503, true, true},
        {0x04, false, false, true, 503, true, true},
        {0x08, false, false, false, 501, true, true},
        {0x10, false, false, false, 502, true, true},
        {0x18, false, false, false, 503, true, true},
        {0x20, false, false, false, 503, false, true},
        {0x80, false, false, false, 503, true, false},
        {0xFF, true, true, true, 503, false, false},
    };
    for (const auto& c : cases) {
        HostReset();
        ASSERT_TRUE(Read(Stub() + Block(c.flags) + Archive())) << int(c.flags);
        EXPECT_EQ(ShowRunOption, c.showRun) << int(c.flags);
        EXPECT_EQ(AllowMemberChoice, c.memberChoice) << int(c.flags);
        EXPECT_EQ(HideOverwriteOptions, c.hideOverwrite) << int(c.flags);
        EXPECT_EQ(OverwriteMode, c.overwriteMode) << int(c.flags);
        EXPECT_EQ(SizeCheckEnabled, c.sizeCheck) << int(c.flags);
        EXPECT_EQ(ShowDoneMessage, c.doneMessage) << int(c.flags);
        EXPECT_TRUE(HostBoxes().empty());
    }
}

TEST_F(Configuration, AutomaticModeFollowsTheFileName)
{
    const struct {
        const char* path;
        uint8_t flags;
        bool autoExtract;
    } cases[] = {
        {"C:\\dl\\!x.exe", 0x40, true},       {"C:\\dl\\Setup.exe", 0x40, true},
        {"C:\\dl\\SETUP.EXE", 0x40, true},    {"C:\\dl\\setup.exe", 0x40, true},
        {"C:\\dl\\MySetup.exe", 0x40, false}, {"C:\\dl\\Setup.exe.exe", 0x40, false},
        {"C:\\dl\\a!b.exe", 0x40, false},     {"C:\\dl\\Setup.exe", 0x00, false},
        {"C:\\!dl\\prog.exe", 0x40, false},   {"C:\\dl\\!", 0x40, true},
    };
    for (const auto& c : cases) {
        HostReset();
        ASSERT_TRUE(Read(Stub() + Block(c.flags) + Archive(), c.path));
        EXPECT_EQ(AutoExtract, c.autoExtract) << c.path;
    }
}

TEST_F(Configuration, TextsAndArchiveBase)
{
    std::string file = Stub() + Block(0x03, "Mon titre", "C:\\Dest", "><setup.exe|/S") + Archive();
    ASSERT_TRUE(Read(file));
    EXPECT_STREQ(WindowCaption, "Mon titre");
    EXPECT_STREQ(DefaultFolder, "C:\\Dest");
    EXPECT_STREQ(RunCommand, "><setup.exe|/S");
    EXPECT_STREQ(StartMessage, "");
    EXPECT_TRUE(DestinationGiven);
    EXPECT_TRUE(CommandGiven);
    EXPECT_FALSE(StartMessageGiven);
    EXPECT_EQ(ArchiveBase, StubSize + 12 + 9 + 7 + 14);
}

TEST_F(Configuration, EmptyTextsKeepTheirDefaults)
{
    ASSERT_TRUE(Read(Stub() + Block(0x03) + Archive()));
    EXPECT_STREQ(WindowCaption, "Quillex");
    EXPECT_FALSE(DestinationGiven);
    EXPECT_FALSE(CommandGiven);
    EXPECT_STREQ(DefaultFolder, "");
    EXPECT_EQ(ArchiveBase, StubSize + 12);
}

TEST_F(Configuration, LongestCaption)
{
    std::string caption(255, 'k');
    ASSERT_TRUE(Read(Stub() + Block(0x03, caption) + Archive()));
    EXPECT_EQ(std::string(WindowCaption), caption);
}

TEST_F(Configuration, TextsEndAtAZeroByte)
{
    ASSERT_TRUE(Read(Stub() + Block(0x03, std::string("ab\0cd", 5)) + Archive()));
    EXPECT_STREQ(WindowCaption, "ab");
}

TEST_F(Configuration, BlockLengthFieldAloneFindsTheArchive)
{
    ASSERT_TRUE(Read(Stub() + Block(0x20, std::string(12, 'c'), "", "", "", 24) + Archive()));
    EXPECT_EQ(ArchiveBase, StubSize + 24);
    HostReset();
    ASSERT_TRUE(Read(Stub() + Block(0x20, "", "", "", "", 100) + Archive()));
    EXPECT_EQ(ArchiveBase, StubSize + 100);
}

TEST_F(Configuration, BadMarkersAndCutBlocksAreRefused)
{
    std::string good = Stub() + Block(0x03, "Titre", "C:\\D", "run.exe", "Bonjour") + Archive();
    const std::string files[] = {
        Stub() + "MPv" + good.substr(StubSize + 3),
        Stub() + std::string("MP\0", 3) + good.substr(StubSize + 3),
        Stub() + "mpv" + good.substr(StubSize + 3),
        Stub().substr(0, 1000),
        Stub(),
        Stub() + "MP",
        // Files that end inside the block, at every byte after the marker.
        good.substr(0, StubSize + 4),
        good.substr(0, StubSize + 7),
        good.substr(0, StubSize + 8),
        good.substr(0, StubSize + 10),
        good.substr(0, StubSize + 14),
        good.substr(0, StubSize + 19),
        good.substr(0, StubSize + 30),
    };
    for (const std::string& file : files) {
        HostReset();
        EXPECT_FALSE(Read(file)) << file.size();
        ExpectOnlyBadSizeBox();
    }
}

TEST_F(Configuration, StartMessageBoxes)
{
    const struct {
        std::string message;
        int answer;
        unsigned type;
        std::string shown;
        bool goesOn;
    } cases[] = {
        {"\x01" "Continuer ?", AnswerOk, 0x41, "Continuer ?", true},
        {"\x01" "Continuer ?", AnswerCancel, 0x41, "Continuer ?", false},
        {"\x02" "Installer ?", AnswerYes, 0x24, "Installer ?", true},
        {"\x02" "Installer ?", AnswerNo, 0x24, "Installer ?", false},
        {"\x05" "Bonjour", AnswerOk, 0x00, "Bonjour", true},
        {"Bonjour", AnswerOk, 0x00, "Bonjour", true},
        {"\x07" "Bonjour", AnswerOk, 0x00, "\x07" "Bonjour", true},
        {"\x01", AnswerOk, 0x41, "", true},
    };
    for (const auto& c : cases) {
        HostReset();
        HostQueueAnswer(c.answer);
        EXPECT_EQ(Read(Stub() + Block(0x03, "Titre", "", "", c.message) + Archive()), c.goesOn);
        ASSERT_EQ(HostBoxes().size(), 1u);
        EXPECT_EQ(HostBoxes()[0].type, c.type);
        EXPECT_EQ(HostBoxes()[0].text, c.shown);
        EXPECT_EQ(HostBoxes()[0].caption, "Titre");
    }
}

TEST_F(Configuration, StartMessageUsesTheDefaultCaption)
{
    ASSERT_TRUE(Read(Stub() + Block(0x03, "", "", "", "Salut") + Archive()));
    ASSERT_EQ(HostBoxes().size(), 1u);
    EXPECT_EQ(HostBoxes()[0].caption, "Quillex");
}

TEST_F(Configuration, SizeCheck)
{
    const std::string base = Stub() + Block(0x03);
    const struct {
        std::string file;
        bool passes;
    } cases[] = {
        {base + Archive(), true},
        {base + Archive() + "x", false},
        {(base + Archive()).substr(0, base.size() + Archive().size() - 1), false},
        {base + Archive(1000), true},
        {base + Archive(65535), true},
        {base + Archive().substr(30), false},   // nothing but a 22-byte end record
        // An end record inside the data does not pass unless it ends the file.
        {base + Archive() + Archive().substr(30) + "tail", false},
        {base + "PK\x05\x06" + Archive(), true},
        {base, false},
    };
    for (const auto& c : cases) {
        HostReset();
        EXPECT_EQ(Read(c.file), c.passes) << c.file.size();
        EXPECT_EQ(ArchiveSizeOk, c.passes);
        if (!c.passes)
            ExpectOnlyBadSizeBox();
    }
}

TEST_F(Configuration, SizeCheckComesBeforeTheStartMessage)
{
    EXPECT_FALSE(Read(Stub() + Block(0x03, "", "", "", "\x01Hello") + Archive() + "junk"));
    ExpectOnlyBadSizeBox();
}

TEST_F(Configuration, SizeCheckCanBeSwitchedOff)
{
    EXPECT_TRUE(Read(Stub() + Block(0x20) + Archive() + "junk"));
    EXPECT_TRUE(HostBoxes().empty());
}

TEST_F(Configuration, SizeCheckRefusesABlockReachingPastTheEnd)
{
    // The end record is right, but the block claims the archive starts after
    // the end of the file.
    EXPECT_FALSE(Read(Stub() + Block(0x03, "", "", "", "", 60000) + Archive()));
    ExpectOnlyBadSizeBox();
}

TEST_F(Configuration, SizeCheckKeepsTheFilePosition)
{
    HostOpenArchiveBytes(Bytes(Stub() + Block(0x03) + Archive()));
    ArchiveBase = StubSize + 12;
    PlatSeekArchive(1234, SeekFromStart);
    EXPECT_TRUE(VerifyArchiveSize());
    EXPECT_EQ(PlatSeekArchive(0, SeekFromCurrent), 1234u);
}

class Destination : public Configuration {
protected:
    std::string Resolve(const std::string& text)
    {
        CopyTextToDefaultFolder(text);
        ResolveDefaultFolder();
        return DefaultFolder;
    }
    static void CopyTextToDefaultFolder(const std::string& text)
    {
        std::snprintf(DefaultFolder, sizeof DefaultFolder, "%s", text.c_str());
    }
};

TEST_F(Destination, Forms)
{
    HostSetTempFolder("C:\\TEMP\\");
    const std::string key = "Software\\X";
    HostSetRegistryValue(RootLocalMachine, key, "InstallDir", std::string("C:\\Prog\0", 8));
    HostSetRegistryValue(RootLocalMachine, key, "Slash", std::string("C:\\Prog\\\0", 9));
    HostSetRegistryValue(RootLocalMachine, key, "Semi", std::string("C:\\Prog;C:\\Other\0", 17));
    HostSetRegistryValue(RootCurrentUser, "K", "V", std::string("C:\\A much longer folder name\0", 29));
    HostSetRegistryValue(RootUsers, "K", "Root", std::string("D:\\\0", 4));
    HostSetRegistryValue(RootUsers, "K", "Five", std::string("D:\\A\0", 5));
    HostSetRegistryValue(RootUsers, "K", "Long", std::string(300, 'L'));
    HostSetRegistryValue(RootUsers, "K", "Marker", std::string("><\0", 3));
    HostSetRegistryValue(RootCurrentUser, "", "Top", std::string("E:\\Top\0", 7));
    const struct {
        const char* destination;
        std::string folder;
    } cases[] = {
        {"HKLM\\Software\\X\\InstallDir|Data", "C:\\Prog\\Data"},
        {"HKEY_LOCAL_MACHINE\\Software\\X\\Slash|Data", "C:\\Prog\\Data"},
        {"HKLM\\Software\\X\\Semi|Data", "C:\\Prog\\Data"},
        {"HKLM\\Software\\X\\InstallDir", "C:\\Prog"},
        {"HKCU\\K\\V|S", "C:\\A much longer folder name\\S"},
        {"HKEY_CURRENT_USER\\K\\V", "C:\\A much longer folder name"},
        {"HKCR\\Software\\X\\Dir", "C:\\TEMP\\"},
        {"HKEY_CLASSES_ROOT\\Software\\X\\InstallDir", "C:\\TEMP\\"},
        {"HKLM\\Software\\X\\Missing", "C:\\TEMP\\"},
        {"HKLM\\Software\\Y\\InstallDir", "C:\\TEMP\\"},
        {"HKU\\K\\Root", "C:\\TEMP\\"},
        {"HKEY_USERS\\K\\Five", "D:\\A"},
        {"HKU\\K\\Long|S", std::string(260, 'L')},
        {"HKU\\K\\Marker", "C:\\TEMP\\"},
        {"HKCU\\\\Top", "E:\\Top"},
        {"HKCU\\V", "C:\\TEMP\\"},   // fewer than two backslashes: a failed lookup
        {"HKCU", "C:\\TEMP\\"},
        {"HKCU|S", "C:\\TEMP\\"},
        {"hkcu\\Software\\X\\Dir", "hkcu\\Software\\X\\Dir"},
        {"><", "C:\\TEMP\\"},
        {"> <", "> <"},
        {"><\\", "><\\"},
        {"D:\\Plain", "D:\\Plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Resolve(c.destination), c.folder) << c.destination;
}

TEST_F(Destination, ResolvedDuringReadConfiguration)
{
    HostSetTempFolder("/tmp/elsewhere/");
    ASSERT_TRUE(Read(Stub() + Block(0x03, "", "><") + Archive()));
    EXPECT_STREQ(DefaultFolder, "/tmp/elsewhere/");
    EXPECT_TRUE(DestinationGiven);
}

}  // namespace
