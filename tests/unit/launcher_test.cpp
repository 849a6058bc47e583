#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "globals.h"
#include "helpers.h"
#include "launcher.h"
#include "test_support.h"

namespace {

class Launcher : public ::testing::Test {
protected:
    void SetUp() override { HostReset(); }
    void TearDown() override { HostReset(); }
    static void Configure(const std::string& command, const std::string& destination)
    {
        CopyText(RunCommand, sizeof RunCommand, command.c_str());
        CommandGiven = !command.empty();
        CopyText(DestinationFolder, sizeof DestinationFolder, destination.c_str());
    }
    static std::string Part(int which)
    {
        char out[CommandTextSize];
        CommandPart(which, out, sizeof out);
        return out;
    }
    static std::string Caption()
    {
        char out[CommandTextSize];
        BuildRunCaption(out, sizeof out);
        return out;
    }
};

TEST_F(Launcher, ReplaceMarker)
{
    const struct {
        std::string text, value, result;
    } cases[] = {
        {"><setup.exe", "C:\\D\\", "C:\\D\\setup.exe"},
        {"a><b><c", "X", "aXbXc"},
        {"no marker", "X", "no marker"},
        {"><", "", ""},
        {">><<", "X", ">X<"},
        {"><", "><", "><"},          // a value holding the marker ends too
        {"a><b", "<>><", "a<>><b"},
    };
    for (const auto& c : cases) {
        char text[CommandTextSize];
        CopyText(text, sizeof text, c.text.c_str());
        ReplaceMarker(text, sizeof text, c.value.c_str());
        EXPECT_EQ(std::string(text), c.result) << c.text << " / " << c.value;
    }
}

TEST_F(Launcher, ReplaceMarkerStaysInItsBuffer)
{
    char text[16] = "><><><><";
    text[15] = '#';
    ReplaceMarker(text, 15, "0123456789");
    EXPECT_STREQ(text, "01234567890123");
    EXPECT_EQ(text[15], '#');
}

TEST_F(Launcher, CommandParts)
{
    const struct {
        std::string command, program, arguments;
    } cases[] = {
        {"setup.exe", "setup.exe", ""},
        {"><setup.exe|/S", "C:\\Out\\setup.exe", "/S"},
        {"prog.exe|a|b", "prog.exe", "a|b"},
        {"|readme.txt", "", "readme.txt"},
        {"notepad.exe|><readme.txt", "notepad.exe", "C:\\Out\\readme.txt"},
    };
    for (const auto& c : cases) {
        Configure(c.command, "C:\\Out");
        EXPECT_EQ(Part(1), c.program) << c.command;
        EXPECT_EQ(Part(2), c.arguments) << c.command;
        EXPECT_STREQ(DestinationFolder, "C:\\Out\\");   // the backslash stays
    }
}

TEST_F(Launcher, IsInfFile)
{
    for (const char* yes : {"setup.inf", "Setup.InF", "C:\\a\\B.INF", ".inf"})
        EXPECT_TRUE(IsInfFile(yes)) << yes;
    for (const char* no : {"setup.inf ", "inf", "", "setupinf", "a.in", "x.ing", "x.\xc9NF"})
        EXPECT_FALSE(IsInfFile(no)) << no;
}

TEST_F(Launcher, RunCaption)
{
    const struct {
        std::string command, caption;
    } cases[] = {
        {"setup.exe", "Apr\xe8s extraction, lancer : setup.exe "},
        {"><setup.exe|/S", "Apr\xe8s extraction, lancer : setup.exe S"},
        {"><driver.inf|.ntx86", "Apr\xe8s extraction, installer : driver.inf .ntx86"},
        {"|readme.txt", "Apr\xe8s extraction, lancer :  readme.txt"},
        {"><Setup.InF", "Apr\xe8s extraction, installer : Setup.InF "},
    };
    for (const auto& c : cases) {
        Configure(c.command, "C:\\Out");
        EXPECT_EQ(Caption(), c.caption) << c.command;
    }
}

TEST_F(Launcher, InstallCommandLines)
{
    const struct {
        int platform;
        std::string arguments;
        std::vector<std::string> started;
    } cases[] = {
        {2, ".ntx86", {"exec: rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall.ntx86 132 C:\\D\\s.inf"}},
        {2, "", {"exec: rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 C:\\D\\s.inf"}},
        {2, ".NTX86", {"exec: rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 C:\\D\\s.inf"}},
        {1, ".ntx86", {"exec: rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 C:\\D\\s.inf"}},
        {3, "", {"exec: C:\\D\\s.inf"}},
        {0, "", {}},
    };
    for (const auto& c : cases) {
        HostReset();
        HostSetPlatformId(c.platform);
        InstallInf("C:\\D\\s.inf", c.arguments.c_str());
        EXPECT_EQ(HostStartedCommands(), c.started) << c.platform;
    }
}

TEST_F(Launcher, RunAfterExtraction)
{
    TempDir configured;
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    const struct {
        std::string command;
        int check;
        bool given;
        std::vector<std::string> started;
    } cases[] = {
        {"><setup.exe|/S", 1, true, {"open: C:\\Out\\setup.exe | /S | C:\\Out\\"}},
        {"><setup.exe|/S", 0, true, {}},
        {"><setup.exe|/S", 1, false, {}},
        {"a.js", 1, true, {}},
        {"abcde", 1, true, {"open: abcde |  | C:\\Out\\"}},
        {"|readme.txt", 1, true, {}},
        {"><s.inf", 1, true, {"exec: rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 C:\\Out\\s.inf"}},
    };
    for (const auto& c : cases) {
        HostReset();
        Configure(c.command, "C:\\Out");
        CommandGiven = c.given;
        CopyText(DefaultFolder, sizeof DefaultFolder, configured.Path().c_str());
        RunAfterExtraction(c.check);
        EXPECT_EQ(HostStartedCommands(), c.started) << c.command;
        char after[4096];
        ASSERT_NE(getcwd(after, sizeof after), nullptr);
        EXPECT_STREQ(after, before);
    }
}

}  // namespace
