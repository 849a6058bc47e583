#include "globals.h"

#include <cstring>

#include "texts.h"

uint32_t ArchivePosition = 0;
uint32_t ArchiveBase = 0;
int32_t CompressedLeft = 0;
LocalFileHeader LocalHeader = {};
uint32_t CrcValue = 0;
OutputFile OutFile = nullptr;
int32_t MemberListIndex = 0;
PathBuffer DestinationFolder = "";
char Password[PasswordTextSize] = "";
char PasswordText[PasswordTextSize] = "";
int32_t PasswordLength = 0;
uint8_t OverwritePolicy = PolicyReplace;
bool OverwriteAnswer = false;
PathBuffer ExistingFileName = "";
WindowRef MainWindow = nullptr;

PathBuffer WindowCaption = TXT_PROGRAM_NAME;
PathBuffer DefaultFolder = "";
PathBuffer RunCommand = "";
PathBuffer StartMessage = "";
bool DestinationGiven = false;
bool CommandGiven = false;
bool StartMessageGiven = false;
bool ShowRunOption = true;
bool AllowMemberChoice = true;
bool HideOverwriteOptions = false;
int32_t OverwriteMode = OverwriteConfirm;
bool SizeCheckEnabled = true;
bool AutoExtract = false;
bool ShowDoneMessage = true;
bool ArchiveSizeOk = false;

void ResetSharedState()
{
    ArchivePosition = 0;
    ArchiveBase = 0;
    CompressedLeft = 0;
    LocalHeader = LocalFileHeader{};
    CrcValue = 0;
    OutFile = nullptr;
    MemberListIndex = 0;
    DestinationFolder[0] = 0;
    Password[0] = 0;
    std::memset(PasswordText, 0, sizeof PasswordText);
    PasswordLength = 0;
    OverwritePolicy = PolicyReplace;
    OverwriteAnswer = false;
    ExistingFileName[0] = 0;
    MainWindow = nullptr;

    std::memset(WindowCaption, 0, sizeof WindowCaption);
    std::memcpy(WindowCaption, TXT_PROGRAM_NAME, sizeof TXT_PROGRAM_NAME - 1);
    DefaultFolder[0] = 0;
    RunCommand[0] = 0;
    StartMessage[0] = 0;
    DestinationGiven = false;
    CommandGiven = false;
    StartMessageGiven = false;
    ShowRunOption = true;
    AllowMemberChoice = true;
    HideOverwriteOptions = false;
    OverwriteMode = OverwriteConfirm;
    SizeCheckEnabled = true;
    AutoExtract = false;
    ShowDoneMessage = true;
    ArchiveSizeOk = false;
}
