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

class Archive : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostReset();
        MakeCrcTable();
        OverwritePolicy = PolicyAsk;
    }
    void TearDown() override { HostReset(); }

    void Open(const std::string& zip)
    {
        HostOpenArchiveBytes(Bytes(zip));
        ArchiveBase = 0;
    }
    std::vector<std::string> List()
    {
        ProcessArchive(&dialog, 301, true);
        return dialog.members.names;
    }
    // Lists the archive, selects every member and extracts into `dest`.
    bool ExtractAll()
    {
        List();
        HostSelectAll(dialog.members);
        return Extract();
    }
    bool Extract()
    {
        CopyText(DestinationFolder, sizeof DestinationFolder, dest.Path().c_str());
        return ProcessArchive(&dialog, 301, false);
    }
    std::vector<std::string> Selected() { return HostSelectedInAddedOrder(dialog.members); }
    std::vector<std::string> BoxTexts()
    {
        std::vector<std::string> texts;
        for (const HostBox& box : HostBoxes())
            texts.push_back(box.caption + " | " + box.text);
        return texts;
    }
    static std::string Box(const std::string& caption, const std::string& text)
    {
        return caption + " | " + text;
    }

    HostDialog dialog;
    TempDir dest;
};

const std::string DoneBox = std::string(TXT_DONE_CAPTION) + " | " + TXT_ALL_DONE;
const std::string FailedBox = std::string(TXT_ERROR_CAPTION) + " | " + TXT_SOME_FAILED;

TEST_F(Archive, ListsEveryMemberSorted)
{
    ZipMember withExtra{"b/extra.txt", "e"};
    withExtra.extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
    ZipMember described{"D.txt", "descriptor", 8};
    described.descriptor = true;
    Open(MakeZip({{"zeta.txt", "z"}, {"Alpha/", ""}, described, withExtra, {"alpha/", ""},
                  {"dup", "1"}, {"dup", "2"}, {std::string("nul\0led", 7), "n"}}));
    EXPECT_EQ(List(), (std::vector<std::string>{"Alpha/", "alpha/", "b/extra.txt", "D.txt", "dup",
                                                "dup", "nul", "zeta.txt"}));
    EXPECT_EQ(dialog.members.added.front(), "zeta.txt");
    EXPECT_TRUE(HostBoxes().empty());
}

TEST_F(Archive, ListingWithoutAHeaderAtTheBase)
{
    Open("not an archive at all, just some bytes to read through");
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Box(TXT_ERROR_CAPTION, TXT_READ_ERROR)}));
}

TEST_F(Archive, EmptyNameEndsTheWalkWithOneBox)
{
    Open(MakeZip({{"first", "1"}, {"", "2"}, {"third", "3"}}));
    EXPECT_EQ(List(), (std::vector<std::string>{"first"}));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Box(TXT_ERROR_CAPTION, TXT_BAD_NAME)}));
}

TEST_F(Archive, ExtractsStoredDeflatedAndDescribedMembers)
{
    std::string big(100000, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = char((i * 7919) >> 5);
    ZipMember described{"sub/deeper/d.bin", big, 8};
    described.descriptor = true;
    Open(MakeZip({{"a.txt", "alpha"}, {"empty", ""}, {"dir/", ""}, {"dir/z.bin", big, 8},
                  described, {"sub/s.txt", "stored", 0}}));
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "a.txt"), "alpha");
    EXPECT_EQ(ReadAll(dest / "empty"), "");
    EXPECT_TRUE(fs::is_directory(dest / "dir"));
    EXPECT_EQ(ReadAll(dest / "dir/z.bin"), big);
    EXPECT_EQ(ReadAll(dest / "sub/deeper/d.bin"), big);
    EXPECT_EQ(ReadAll(dest / "sub/s.txt"), "stored");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{DoneBox}));
    EXPECT_TRUE(Selected().empty());
}

TEST_F(Archive, DoneMessageSuppressed)
{
    for (int mode = 0; mode < 2; mode++) {
        HostReset();
        MakeCrcTable();
        dialog = HostDialog();
        AutoExtract = mode == 0;
        ShowDoneMessage = mode == 0;
        Open(MakeZip({{"f.txt", "x"}}));
        EXPECT_TRUE(ExtractAll());
        EXPECT_TRUE(HostBoxes().empty());
    }
}

TEST_F(Archive, NothingSelected)
{
    Open(MakeZip({{"f.txt", "x"}}));
    List();
    EXPECT_FALSE(Extract());
    EXPECT_TRUE(HostBoxes().empty());
    EXPECT_FALSE(fs::exists(dest / "f.txt"));
}

TEST_F(Archive, PartialSelection)
{
    Open(MakeZip({{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    List();
    dialog.members.selected = {false, true, false};
    EXPECT_TRUE(Extract());
    EXPECT_FALSE(fs::exists(dest / "a"));
    EXPECT_EQ(ReadAll(dest / "b"), "2");
    EXPECT_FALSE(fs::exists(dest / "c"));
}

TEST_F(Archive, DamagedMemberAmongGoodOnesIsRetried)
{
    ZipMember damaged{"bad.txt", "payload", 8};
    damaged.badCrc = true;
    Open(MakeZip({{"good1", "1"}, damaged, {"good2", "2", 8}}));
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "good1"), "1");
    EXPECT_EQ(ReadAll(dest / "good2"), "2");
    EXPECT_EQ(ReadAll(dest / "bad.txt"), "payload");   // written as decoded, kept on disk
    EXPECT_EQ(Selected(), (std::vector<std::string>{"bad.txt"}));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FailedBox}));

    // A second run works on the failed entry only.
    fs::remove(dest / "good1");
    OverwritePolicy = PolicyReplace;
    EXPECT_FALSE(Extract());
    EXPECT_FALSE(fs::exists(dest / "good1"));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"bad.txt"}));
}

TEST_F(Archive, EqualNamesApartInTheArchiveAreAllExtracted)
{
    // List order a, a, b; archive order a, b, a: the last member's search
    // meets the first entry, already done, and takes the other one.
    OverwritePolicy = PolicyReplace;
    Open(MakeZip({{"a", "first"}, {"b", "b"}, {"a", "second"}}));
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "a"), "second");
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{DoneBox}));
}

TEST_F(Archive, DuplicateNamesAreBothExtractedInArchiveOrder)
{
    OverwritePolicy = PolicyReplace;
    Open(MakeZip({{"same.txt", "first"}, {"SAME.TXT", "second"}}));
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "same.txt"), "first");
    EXPECT_EQ(ReadAll(dest / "SAME.TXT"), "second");
    EXPECT_TRUE(Selected().empty());
}

TEST_F(Archive, OverwritePolicies)
{
    const struct {
        uint8_t policy;
        std::vector<std::pair<bool, bool>> answers;
        std::string a, b;   // contents afterwards
        size_t questions;
        uint8_t policyAfter;
    } cases[] = {
        {PolicyKeep, {}, "old a", "old b", 0, PolicyKeep},
        {PolicyReplace, {}, "new a", "new b", 0, PolicyReplace},
        {PolicyAsk, {{true, false}, {false, false}}, "new a", "old b", 2, PolicyAsk},
        {PolicyAsk, {{true, true}}, "new a", "new b", 1, PolicyReplace},
        {PolicyAsk, {{false, true}}, "old a", "old b", 1, PolicyKeep},
    };
    for (const auto& c : cases) {
        HostReset();
        MakeCrcTable();
        dialog = HostDialog();
        WriteFile(dest / "a", "old a");
        WriteFile(dest / "b", "old b");
        OverwritePolicy = c.policy;
        for (const auto& answer : c.answers)
            HostQueueOverwriteAnswer(answer.first, answer.second);
        Open(MakeZip({{"a", "new a"}, {"b", "new b"}}));
        EXPECT_TRUE(ExtractAll()) << int(c.policy);
        EXPECT_EQ(ReadAll(dest / "a"), c.a);
        EXPECT_EQ(ReadAll(dest / "b"), c.b);
        EXPECT_EQ(HostOverwriteQuestions().size(), c.questions);
        EXPECT_EQ(OverwritePolicy, c.policyAfter);
    }
}

TEST_F(Archive, ExistingFolderEntryIsDoneWithoutAQuestion)
{
    // Its path ends in a separator, and a search for such a name finds
    // nothing: no question, the folder is there, the entry is done.
    fs::create_directories(dest / "dir");
    Open(MakeZip({{"dir/", ""}}));
    EXPECT_TRUE(ExtractAll());
    EXPECT_TRUE(HostOverwriteQuestions().empty());
    EXPECT_TRUE(fs::is_directory(dest / "dir"));
}

TEST_F(Archive, UnsupportedMethodEndsTheRun)
{
    Open(MakeZip({{"first", "1"}, {"odd.bin", "xyz", 12}, {"after", "3"}}));
    WriteFile(dest / "odd.bin", "was here");
    OverwritePolicy = PolicyReplace;
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Box(TXT_ERROR_CAPTION, TXT_BAD_METHOD)}));
    EXPECT_EQ(ReadAll(dest / "odd.bin"), "");   // truncated, left behind
    EXPECT_FALSE(fs::exists(dest / "after"));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"odd.bin", "after"}));
}

TEST_F(Archive, FolderThatCannotBeMadeStopsTheWalk)
{
    WriteFile(dest / "blocker", "a file where a folder should be");
    Open(MakeZip({{"blocker/inner/x.txt", "x"}, {"later", "l"}}));
    EXPECT_FALSE(ExtractAll());
    ASSERT_EQ(HostBoxes().size(), 2u);
    EXPECT_EQ(HostBoxes()[0].caption, TXT_FOLDER_ERROR);
    std::string folder = dest.Path() + "/blocker/inner";
    for (char& c : folder)
        c = c == '/' ? '\\' : c;
    EXPECT_EQ(HostBoxes()[0].text, folder);
    EXPECT_EQ(BoxTexts()[1], FailedBox);
    EXPECT_FALSE(fs::exists(dest / "later"));
}

TEST_F(Archive, ExistingFolderInTheWay)
{
    // A folder entry whose folder exists is done; a file whose place a folder
    // takes is not extracted and is reported, never passed off as done.
    fs::create_directories(dest / "taken");
    fs::create_directories(dest / "entry");
    Open(MakeZip({{"entry/", ""}, {"taken", "x"}}));
    OverwritePolicy = PolicyReplace;
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(Selected(), (std::vector<std::string>{"taken"}));
    ASSERT_EQ(HostBoxes().size(), 2u);
    EXPECT_EQ(HostBoxes()[0].caption, TXT_OPEN_ERROR);
    EXPECT_EQ(BoxTexts()[1], FailedBox);
    EXPECT_TRUE(fs::is_directory(dest / "taken"));
}

TEST_F(Archive, NamesThatWouldLeaveTheDestinationAreNotWritten)
{
    const char* names[] = {
        "../escape.txt", "a/../../escape.txt", "..\\escape.txt", "/abs.txt", "\\abs.txt",
        "\\\\server\\share\\x.txt", "C:\\x.txt", "C:x.txt", "a/b:stream", "a/../b.txt",
        "./.. /x", "... ", "sub/..", "CON", "nul.txt", "dir/Com1.log", "LPT9", "aux .txt/x",
        "PRN", "conin$", "CONOUT$", "COM\xB9",
    };
    for (const char* name : names) {
        HostReset();
        MakeCrcTable();
        dialog = HostDialog();
        Open(MakeZip({{name, "evil"}, {"fine.txt", "ok"}}));
        EXPECT_FALSE(ExtractAll()) << name;
        EXPECT_EQ(Selected(), (std::vector<std::string>{name})) << name;
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FailedBox})) << name;
        EXPECT_EQ(ReadAll(dest / "fine.txt"), "ok");
    }
    EXPECT_FALSE(fs::exists(fs::path(dest.Path()).parent_path() / "escape.txt"));
    EXPECT_FALSE(fs::exists("/abs.txt"));
}

TEST_F(Archive, SafeNames)
{
    for (const char* name : {"a.txt", "dir/", "a/b/c.txt", "a\\b.txt", "..a", "a..", ".hidden",
                             "a/.b/c", "x..y/z", "console", "COM10", "COM0", "nullable.txt",
                             "CONFIG.SYS", "xCON", "lpt"})
        EXPECT_TRUE(IsSafeMemberName(name)) << name;
}

TEST_F(Archive, OverlongNameFailsWithoutOverflow)
{
    std::string longName = std::string(300, 'n') + ".txt";
    Open(MakeZip({{longName, "x"}, {"short.txt", "s"}}));
    EXPECT_EQ(List().size(), 2u);
    EXPECT_EQ(dialog.members.added[0], std::string(NameBufferSize, 'n'));
    HostSelectAll(dialog.members);
    EXPECT_FALSE(Extract());
    EXPECT_EQ(Selected(), (std::vector<std::string>{std::string(NameBufferSize, 'n')}));
    EXPECT_EQ(ReadAll(dest / "short.txt"), "s");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FailedBox}));
}

TEST_F(Archive, SizeNearFourGigabytesEndsTheWalk)
{
    // Sizes that would wrap the position back to an earlier record, or reach
    // past 2 GiB, end the walk; the member fails even when its CRC field
    // matches the empty output it would get.
    for (uint32_t size : {0xFFFFFFF0u, 0x80000000u}) {
        HostReset();
        MakeCrcTable();
        dialog = HostDialog();
        ZipMember huge{"huge", ""};
        huge.compressedSizeOverride = size;
        Open(MakeZip({huge, {"after", "a"}}));
        EXPECT_EQ(List(), (std::vector<std::string>{"huge"}));
        HostSelectAll(dialog.members);
        EXPECT_FALSE(Extract());
        EXPECT_EQ(Selected(), (std::vector<std::string>{"huge"}));
    }
}

TEST_F(Archive, OnlyTheLocalHeaderSignatureStartsAMember)
{
    std::string zip = MakeZip({{"one", "1"}, {"two", "2"}});
    std::string odd = zip;
    size_t second = 30 + 3 + 1;
    odd.replace(second, 4, std::string("\x00\x00\x00\x50", 4));
    Open(odd);
    EXPECT_EQ(List(), (std::vector<std::string>{"one"}));
}

TEST_F(Archive, ManyDescriptorsInARowAreSteppedOver)
{
    std::string zip = MakeZip({{"one", "1"}});
    std::string descriptors;
    for (int i = 0; i < 100000; i++)
        descriptors += std::string("PK\x07\x08", 4) + std::string(12, '\0');
    Open(descriptors + zip);
    EXPECT_EQ(List(), (std::vector<std::string>{"one"}));
}

TEST_F(Archive, EncryptedMembers)
{
    ZipMember a{"a.txt", "secret one", 8, "pass"};
    ZipMember b{"b.txt", "secret two", 0, "pass"};
    ZipMember c{"c.txt", "descriptor", 8, "pass"};
    c.descriptor = true;
    Open(MakeZip({a, b, c}));
    HostQueuePassword("pass");
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(HostPasswordQuestions(), 1);   // the kept password serves the others
    EXPECT_EQ(ReadAll(dest / "a.txt"), "secret one");
    EXPECT_EQ(ReadAll(dest / "b.txt"), "secret two");
    EXPECT_EQ(ReadAll(dest / "c.txt"), "descriptor");
    EXPECT_STREQ(Password, "pass");
}

TEST_F(Archive, ThreeWrongPasswordsEndTheRunSilently)
{
    Open(MakeZip({{"plain", "p"}, {"locked", "data", 8, "right"}, {"after", "a"}}));
    for (const char* wrong : {"one", "", "three"})
        HostQueuePassword(wrong);
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(HostPasswordQuestions(), 3);
    EXPECT_TRUE(HostBoxes().empty());
    EXPECT_EQ(ReadAll(dest / "plain"), "p");
    EXPECT_FALSE(fs::exists(dest / "locked"));
    EXPECT_FALSE(fs::exists(dest / "after"));
    EXPECT_STREQ(Password, "three");
}

TEST_F(Archive, EncryptedMemberTooShortForItsHeader)
{
    ZipMember shortOne{"short", "", 0, "pw"};
    shortOne.compressedSizeOverride = 5;
    std::string zip = MakeZip({shortOne});
    Open(zip);
    HostQueuePassword("pw");
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(HostPasswordQuestions(), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FailedBox}));
}

TEST_F(Archive, EncryptedEmptyStoredMember)
{
    Open(MakeZip({{"empty", "", 0, "pw"}}));
    HostQueuePassword("pw");
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "empty"), "");
}

TEST_F(Archive, StreamedMembersTakeTheirSizesFromTheDescriptor)
{
    std::string big(70000, 'q');
    ZipMember deflated{"deflated.txt", big, 8};
    deflated.streamed = true;
    ZipMember stored{"stored.txt", "stored streamed", 0};
    stored.streamed = true;
    ZipMember locked{"locked.txt", "encrypted streamed", 8, "pw"};
    locked.streamed = true;
    ZipMember empty{"empty", "", 0};
    empty.streamed = true;
    Open(MakeZip({deflated, stored, locked, empty, {"last", "l"}}));
    EXPECT_EQ(List().size(), 5u);
    HostSelectAll(dialog.members);
    HostQueuePassword("pw");
    EXPECT_TRUE(Extract());
    EXPECT_EQ(ReadAll(dest / "deflated.txt"), big);
    EXPECT_EQ(ReadAll(dest / "stored.txt"), "stored streamed");
    EXPECT_EQ(ReadAll(dest / "locked.txt"), "encrypted streamed");
    EXPECT_EQ(ReadAll(dest / "empty"), "");
    EXPECT_EQ(ReadAll(dest / "last"), "l");
}

TEST_F(Archive, StreamedMemberWithoutItsDescriptorFails)
{
    // Without the descriptor's signature nothing tells where the data ends:
    // the member fails (never an empty file passed off as extracted) and the
    // walk ends with it.
    ZipMember lost{"lost.txt", "some data that is not empty", 0};
    lost.streamed = true;
    std::string zip = MakeZip({lost, {"after", "a"}});
    size_t descriptor = zip.find("PK\x07\x08");
    ASSERT_NE(descriptor, std::string::npos);
    zip[descriptor] = 'X';
    Open(zip);
    EXPECT_EQ(List(), (std::vector<std::string>{"lost.txt"}));
    HostSelectAll(dialog.members);
    EXPECT_FALSE(Extract());
    EXPECT_EQ(Selected(), (std::vector<std::string>{"lost.txt"}));
    EXPECT_FALSE(fs::exists(dest / "lost.txt"));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FailedBox}));
}

TEST_F(Archive, FindingEntriesWrapsAround)
{
    // Archive order differs from list order; each member finds its own entry,
    // and equal names following each other find their entries in list order.
    Open(MakeZip({{"c", "3"}, {"a", "1"}, {"A", "4"}, {"b", "2"}}));
    OverwritePolicy = PolicyReplace;
    EXPECT_TRUE(ExtractAll());
    EXPECT_EQ(ReadAll(dest / "a"), "1");
    EXPECT_EQ(ReadAll(dest / "A"), "4");
    EXPECT_EQ(ReadAll(dest / "b"), "2");
    EXPECT_TRUE(Selected().empty());
}

}  // namespace
