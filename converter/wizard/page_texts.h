// The fixed texts of the wizard's pages: captions, control texts, questions
// and explanations, in one place for every front end (the Qt pages, the
// Windows pages). The message boxes of the batch driver and the engine keep
// theirs in converter/engine/texts.h.
#ifndef TOLLAN_CONVERTER_WIZARD_PAGE_TEXTS_H_
#define TOLLAN_CONVERTER_WIZARD_PAGE_TEXTS_H_

namespace tollan {

// Every page.
inline constexpr const char* kWindowCaption = "Brindle Tollan";
inline constexpr const char* kExitQuestion = "Are you sure you want to exit now?";
inline constexpr const char* kCmdHelpText = "&Help Manual";
inline constexpr const char* kCmdEndText = "E&xit";

// The start page.
inline constexpr const char* kStartFrame1Text = " I want to convert ";
inline constexpr const char* kOptDefaultOEText = "Default Outlook Express folder(s)";
inline constexpr const char* kOptChooseDBXText = "Choose (.dbx) files located in a folder";
inline constexpr const char* kFrame2Text = " Quick Help ";
inline constexpr const char* kRunningWarningText =
    "Outlook Express should not be in running mode, when you perform conversion";
inline constexpr const char* kCmdNextText = "&Next >";
inline constexpr const char* kSelectAnOptionText = "Select a Option";
inline constexpr const char* kDefaultStoreExplanation =
    "By default, Outlook Express is the only email program that ships with Windows XP; (Outlook "
    "Express actually came bundled with Windows since Windows 98.)\r\n\r\nIf you choose default "
    "folder mode, software will check if Outlook Express is installed or not. If Outlook Express "
    "is found to be installed then Outlook Express will automatically check and locate default "
    "Outlook Express mail store. And allows you to convert default Outlook Express .dbx files.";
inline constexpr const char* kChosenFilesExplanation =
    "If you have saved your Outlook Express .dbx files to some other location or have copied .dbx "
    "files from some other computer then this will option will allows you to convert such .dbx "
    "files.";

// Both conversion pages.
inline constexpr const char* kOptOnePstText = " Single Outlook (.pst) file for All (.dbx) files";
inline constexpr const char* kOptEachPstText = "Separate Outlook (.pst) file for Each (.dbx) file";
inline constexpr const char* kChkDeletedItemsText = "Skip Deleted Items";
inline constexpr const char* kFrame1Text = " I want to create ";
inline constexpr const char* kFrameConversionText = " Progress Details";
inline constexpr const char* kLblCurrentDbxText = "Converting Messages...";
inline constexpr const char* kLblProgessCurrentText = "Message 0 (of 0)";
inline constexpr const char* kOverallProgressText = "Overall Progress        : ";
inline constexpr const char* kFileProgressText = "Current File Progress : ";
inline constexpr const char* kCmdBackText = "< &Back";
inline constexpr const char* kOptionsButtonText = "Options\u2026";

// The default-store page.
inline constexpr const char* kDefaultStoreConvertText = "Convert";
inline constexpr const char* kDefaultStoreHeading = "Default Outlook Express Identity Folder";
inline constexpr const char* kFoldersFoundText = "Total Folders Found :";

// The file-list page.
inline constexpr const char* kFileListConvertText = "Convert &Messages";
inline constexpr const char* kCmdAddText = "Add DBX File(s)...";
inline constexpr const char* kCmdAddFolderText = "Select...";
inline constexpr const char* kCmdClearText = "Clear File(s)...";
inline constexpr const char* kFolderLabelText = "Folder :";
inline constexpr const char* kNoFilesText = "0 files";
inline constexpr const char* kDbxFileFilter = "Outlook Express Mailstores (*.dbx)";
inline constexpr const char* kChooseSourceFolderTitle = "Choose Source Folder...";
inline constexpr const char* kSearchingText = "Please wait checking for dbx files(s)...";
inline constexpr const char* kClearQuestion = "Do you want to clear all the files in the list\r\n Proceed?";

// The options dialog.
inline constexpr const char* kOptionsTitle = "Options";
inline constexpr const char* kKeepFolderTreeText = "Keep the Outlook Express folder tree and names";
inline constexpr const char* kRecoverText = "Recover messages the folder index has lost";
inline constexpr const char* kVerifyText =
    "Read every message back from the finished .pst files and compare it";
inline constexpr const char* kConvertOutboxText = "Convert the Outbox too (its unsent messages)";
inline constexpr const char* kReportPathLabel = "Report of the messages not converted cleanly:";
inline constexpr const char* kReportBesideText = "beside the .pst files, when anything went wrong";
inline constexpr const char* kIdentityLabel = "Outlook Express identity:";
inline constexpr const char* kMaxPstSizeLabel =
    "Begin a new .pst file, NAME (part 2).pst, before one passes this size (0: never):";

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_PAGE_TEXTS_H_
