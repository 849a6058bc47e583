// Faults of the system during a run: a full disk, a destination that cannot
// be written, an archive that can no longer be read. The run must say that
// members failed, and nothing on disk may be lost but a file the user agreed
// to replace.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive.h"
#include "crc32.h"
#include "globals.h"
#include "helpers.h"
#include "member_list.h"
#include "test_support.h"
#include "texts.h"
#include "zip_builder.h"

namespace fs = std::filesystem;

namespace {

std::string Text(size_t size, int seed)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++)
        s[i] = char("abcdefgh ij\n"[(i * 7 + size_t(seed) + i / 13) % 12]);
    return s;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostReset();
        MakeCrcTable();
        OverwritePolicy = PolicyReplace;
    }
    void TearDown() override { HostReset(); }

    bool Run(const std::string& zip, const std::string& folder)
    {
        HostOpenArchiveBytes(Bytes(zip));
        ArchiveBase = 0;
        ProcessArchive(&dialog, 301, true);
        HostSelectAll(dialog.members);
        CopyText(DestinationFolder, sizeof DestinationFolder, folder.c_str());
        return ProcessArchive(&dialog, 301, false);
    }
    std::vector<std::string> Selected() { return HostSelectedInAddedOrder(dialog.members); }
    std::string LastBox() { return HostBoxes().empty() ? "" : HostBoxes().back().text; }

    HostDialog dialog;
    TempDir dest;
};

TEST_F(Faults, FullDiskFailsTheMembersItCuts)
{
    const std::string zip = MakeZip({{"small.txt", "fits"},
                                     {"deflated.txt", Text(200000, 1), 8},
                                     {"stored.txt", Text(100000, 2), 0},
                                     {"after.txt", "nothing left"}});
    HostFailWritesAfter(50000);
    EXPECT_FALSE(Run(zip, dest.Path()));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"deflated.txt", "stored.txt", "after.txt"}));
    EXPECT_EQ(LastBox(), TXT_SOME_FAILED);
    EXPECT_EQ(ReadAll(dest / "small.txt"), "fits");
}

TEST_F(Faults, DestinationThatCannotBeWritten)
{
    // The system refuses every folder there, whoever runs the test.
    EXPECT_FALSE(Run(MakeZip({{"a.txt", "a"}}), "/proc/self/quillex-destination"));
    ASSERT_EQ(HostBoxes().size(), 2u);
    EXPECT_EQ(HostBoxes()[0].caption, TXT_FOLDER_ERROR);
    EXPECT_EQ(LastBox(), TXT_SOME_FAILED);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"a.txt"}));
}

TEST_F(Faults, ArchiveUnreadableInTheMiddleOfARun)
{
    const std::string first = Text(3000, 3);
    const std::string zip =
        MakeZip({{"first.txt", first, 0}, {"second.txt", Text(70000, 4), 0}, {"third.txt", "3"}});
    // Enough for the first member and the start of the second, stored so
    // that the bytes read are known.
    HostOpenArchiveBytes(Bytes(zip));
    ArchiveBase = 0;
    ProcessArchive(&dialog, 301, true);
    HostSelectAll(dialog.members);
    CopyText(DestinationFolder, sizeof DestinationFolder, dest.Path().c_str());
    HostFailReadsAfter(30 + 9 + 3000 + 30 + 10 + 1000);
    EXPECT_FALSE(ProcessArchive(&dialog, 301, false));
    EXPECT_EQ(ReadAll(dest / "first.txt"), first);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"second.txt", "third.txt"}));
    EXPECT_EQ(LastBox(), TXT_SOME_FAILED);
}

TEST_F(Faults, ExistingFilesSurviveUnlessReplacingWasAgreed)
{
    WriteFile(dest / "kept.txt", "mine");
    WriteFile(dest / "declined.txt", "mine too");
    WriteFile(dest / "replaced.txt", "old");
    OverwritePolicy = PolicyAsk;
    HostQueueOverwriteAnswer(false, false);   // declined.txt
    HostQueueOverwriteAnswer(true, false);    // replaced.txt
    ZipMember damaged{"replaced.txt", "new", 8};
    damaged.badCrc = true;
    const std::string zip = MakeZip({{"declined.txt", "theirs"}, damaged});
    EXPECT_FALSE(Run(zip, dest.Path()));
    EXPECT_EQ(ReadAll(dest / "declined.txt"), "mine too");
    EXPECT_EQ(ReadAll(dest / "replaced.txt"), "new");   // agreed, even though it fails its check
    EXPECT_EQ(ReadAll(dest / "kept.txt"), "mine");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"replaced.txt"}));
}

}  // namespace
