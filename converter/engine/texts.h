// The fixed texts and titles of the message boxes that the batch driver and
// the conversion engine show, in one place.
#ifndef TOLLAN_CONVERTER_ENGINE_TEXTS_H_
#define TOLLAN_CONVERTER_ENGINE_TEXTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tollan {

inline constexpr const char* kCrLf = "\r\n";

// Where the session error points the user for more help: the guide's
// troubleshooting page, shipped with the program.
inline constexpr const char* kSupportAddress = "guide.html#troubleshooting";

inline std::string OutlookErrorText() {
  return std::string("Outlook Session Creation Error !") + kCrLf +
         "Check if Outlook is installed and configured." + kCrLf +
         "For more details visit this link : " + kSupportAddress;
}
inline constexpr const char* kOutlookErrorTitle = "Outlook Error";

inline constexpr const char* kSelectOptionText =
    "Please Select Option for Creating Outlook (.pst) files";
inline constexpr const char* kChooseSaveFolderTitle = "Choose Folder to Save...";
inline constexpr const char* kNothingToConvertText =
    "There are no (.dbx) files in the list to convert. Add files or a folder first.";

inline std::string ClosingText() {
  return std::string(
             "Start Outlook. Click File -> Open -> Outlook Data File. And browse converted file "
             "to open in Outlook.") +
         kCrLf +
         "Note : Do not use Import option from File menu. For more help please visit product "
         "webpage.";
}

inline constexpr const char* kOpenStoreFailedText = "Failed to Open OE object; return code=";
inline constexpr const char* kOpenStoreFailedTitle = "Failed to Open OE";

inline constexpr const char* kCompressFolderText =
    "Folder opened, but some messages may be inaccessible; Compress the folder from Outlook "
    "Express";
inline constexpr const char* kCompressFolderTitle = "Compress Outlook Express Folder!";
inline constexpr const char* kOpenFolderFailedText = "Openfolder failed with error code ";
inline constexpr const char* kOpenFolderFailedTitle = "Failed";

inline std::string SoftwareLogText(const std::string& description) {
  return "[Software Log] " + description + kCrLf +
         "Please ensure dbx files are not corrupt, which are added in the list.";
}

// A folder file whose index yields fewer messages than its header declares.
inline std::string IndexShortText(int64_t listed, int64_t declared) {
  return "the index of this folder file is damaged: it lists " + std::to_string(listed) + " of the " +
         std::to_string(declared) + " messages its header declares, so " +
         std::to_string(declared - listed) +
         " message(s) were not converted; compact the folder in Outlook Express, or convert a "
         "backup copy";
}

// A .pst that could not be made in the output folder (not a session failure).
inline std::string PstCreateFailedText(const std::string& error) {
  return "The Outlook (.pst) file could not be created: " + error + kCrLf +
         "Check that the output folder exists, that you may write to it and that its disk has "
         "room, then convert again.";
}

// A .pst that could not be completed: its file was removed.
inline std::string PstIncompleteText(const std::string& error) {
  return "the .pst file could not be completed and was removed (" + error +
         "); free space on the disk of the output folder and convert again";
}

// The closing message of a run stopped by the user.
inline std::string InterruptedText(int64_t messages, size_t pst_files) {
  return "The conversion was interrupted. " + std::to_string(messages) +
         " message(s) were saved in " + std::to_string(pst_files) +
         " complete .pst file(s); the rest was not converted." + kCrLf +
         "Convert the remaining files again to get them too.";
}

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_TEXTS_H_
