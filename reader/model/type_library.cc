// The Kestrel type library: one table describing every class and member.

#include "reader/model/type_library.h"

#include "reader/model/guids.h"

namespace kestrel {
namespace {

using K = MemberKind;
using T = TypeCode;

// ---- _OE ------------------------------------------------------------------
constexpr ParamInfo kOEStoreLet[] = {{"vDir", T::kString, true, false, 0}};
constexpr ParamInfo kOEOpenFolder[] = {{"sFoldername", T::kString, true, false, 0},
                                       {"bLock", T::kBoolean, true, true, VARIANT_TRUE}};
constexpr ParamInfo kOEOpenStore[] = {{"bInactive", T::kBoolean, true, true, VARIANT_FALSE},
                                      {"bLock", T::kBoolean, true, true, VARIANT_FALSE}};
constexpr char kOEStoreHelp[] = "Set or return the directory where all .DBX files are to be found";

constexpr MemberInfo kOEMembers[] = {
    {1, K::kGet, "OEIdentities", 0x68030004, {}, T::kObject, "OEIdentities", nullptr, false},
    {2, K::kGet, "OEFolders", 0x68030003, {}, T::kObject, "OEFolders",
     "Collection containing all folders within this OE directory", false},
    {3, K::kLet, "OEStore", 0x68030002, kOEStoreLet, T::kVoid, nullptr, kOEStoreHelp, false},
    {4, K::kGet, "OEStore", 0x68030002, {}, T::kString, nullptr, kOEStoreHelp, false},
    {5, K::kGet, "DefaultUser", 0x68030001, {}, T::kString, nullptr, nullptr, false},
    {6, K::kGet, "DefaultStore", 0x68030000, {}, T::kString, nullptr,
     "Return the OE store folder for the current user", false},
    {7, K::kMethod, "OpenFolder", 0x60030006, kOEOpenFolder, T::kLong, nullptr, nullptr, false},
    {8, K::kMethod, "OpenStore", 0x60030007, kOEOpenStore, T::kLong, nullptr, nullptr, false},
};

// ---- _OEFolders -------------------------------------------------------------
constexpr ParamInfo kVariantKey[] = {{"vntIndexKey", T::kVariant, true, false, 0}};
constexpr ParamInfo kLongKey[] = {{"vntIndexKey", T::kLong, true, false, 0}};

constexpr MemberInfo kOEFoldersMembers[] = {
    {1, K::kGet, "Item", 0x00000000, kVariantKey, T::kObject, "OEFolder", nullptr, false},
    {2, K::kGet, "Count", 0x68030000, {}, T::kLong, nullptr, nullptr, false},
    {3, K::kGet, "NewEnum", -4, {}, T::kUnknown, nullptr, nullptr, true},
};

// ---- _OEFolder --------------------------------------------------------------
constexpr ParamInfo kFolderOpen[] = {{"bLock", T::kBoolean, true, true, VARIANT_FALSE}};
constexpr ParamInfo kFolderFileLet[] = {{"sFile", T::kString, true, false, 0}};

constexpr MemberInfo kOEFolderMembers[] = {
    {1, K::kGet, "FileSize", 0x6803000E, {}, T::kLong, nullptr, nullptr, false},
    {2, K::kGet, "InternalName", 0x6803000D, {}, T::kString, nullptr,
     "The original foldername of this folder.", false},
    {3, K::kGet, "HasSubfolders", 0x6803000C, {}, T::kBoolean, nullptr,
     "True if this folder is the parent of sub folders", false},
    {4, K::kGet, "IsActive", 0x6803000B, {}, T::kBoolean, nullptr, nullptr, false},
    {5, K::kGet, "FolderIndex", 0x6803000A, {}, T::kLong, nullptr,
     "Numeric index into the Folders collection for this folder", false},
    {6, K::kGet, "ChildOf", 0x68030009, {}, T::kString, nullptr,
     "If the folder is a subfolder, names the parent folder\r\n", false},
    {7, K::kMethod, "OpenFolder", 0x60030010, kFolderOpen, T::kLong, nullptr, nullptr, false},
    {8, K::kMethod, "CloseFolder", 0x60030011, {}, T::kVoid, nullptr,
     "Closes the currently open folder.\r\nNot strictly necessary but good practice to call "
     "this when you no longer need access to the folder contents.",
     false},
    {9, K::kGet, "OEMessages", 0x68030006, {}, T::kObject, "OEMessages",
     "Collection of OEMessage objects within this folder", false},
    {10, K::kGet, "MessageUnread", 0x68030005, {}, T::kLong, nullptr,
     "Number of unread messages in the folder", false},
    {11, K::kGet, "MessageCount", 0x68030004, {}, T::kLong, nullptr,
     "Number of messages in the folder \r\n", false},
    {12, K::kGet, "SessionNumber", 0x68030003, {}, T::kLong, nullptr,
     "A number indicating the session number when the folder was last modified. You can store "
     "and use this number to detect whether any messages have changed (or been added or "
     "deleted) since you last accessed the folder.",
     false},
    {13, K::kGet, "SourceType", 0x68030002, {}, T::kString, nullptr,
     "Indicates whether this folder is a local store or a newsgroup folder", false},
    {14, K::kGet, "FolderFile", 0x68030001, {}, T::kString, nullptr, nullptr, false},
    {15, K::kLet, "FolderFile", 0x68030001, kFolderFileLet, T::kVoid, nullptr, nullptr, false},
    {16, K::kGet, "FolderName", 0x68030000, {}, T::kString, nullptr,
     "The folder name as it appears within Outlook Express", false},
};

// ---- _OEMessages ------------------------------------------------------------
constexpr MemberInfo kOEMessagesMembers[] = {
    {1, K::kGet, "Item", 0x00000000, kLongKey, T::kObject, "OEMessage", nullptr, false},
    {2, K::kGet, "Count", 0x68030000, {}, T::kLong, nullptr, nullptr, false},
    {3, K::kGet, "NewEnum", -4, {}, T::kUnknown, nullptr, nullptr, false},
};

// ---- _OEMessage -------------------------------------------------------------
constexpr MemberInfo kOEMessageMembers[] = {
    {1, K::kGet, "OEMsgSegments", 0x6803001A, {}, T::kObject, "OEMsgSegments", nullptr, false},
    {2, K::kGet, "ThreadIgnored", 0x68030019, {}, T::kBoolean, nullptr,
     "Set to TRUE if the thread is set to IGNORE ", false},
    {3, K::kGet, "MessageRead", 0x68030018, {}, T::kBoolean, nullptr, nullptr, false},
    {4, K::kGet, "ThreadWatched", 0x68030017, {}, T::kBoolean, nullptr,
     "Indicates this newsgroup thread is being watched", false},
    {5, K::kGet, "PendingChanges", 0x68030016, {}, T::kBoolean, nullptr,
     "Indicates the message is currently being edited in OE", false},
    {6, K::kGet, "AttachmentPresent", 0x68030015, {}, T::kBoolean, nullptr,
     "Indicates whether one or more attachments are present", false},
    {7, K::kGet, "DigitallySigned", 0x68030014, {}, T::kBoolean, nullptr,
     "Indicates whether the message has been digitally signed", false},
    {8, K::kGet, "NewsPosting", 0x68030013, {}, T::kBoolean, nullptr,
     "Indicates whether this message is a newsgroup posting", false},
    {9, K::kGet, "MessageMarked", 0x68030012, {}, T::kBoolean, nullptr,
     "Indicates whether the message is marked in OE", false},
    {10, K::kGet, "MessagePriority", 0x68030011, {}, T::kInteger, nullptr,
     "The priority level of the message", false},
    {11, K::kGet, "MessageLines", 0x68030010, {}, T::kLong, nullptr,
     "The number of lines in the message body (Not always set by OE)", false},
    {12, K::kGet, "MailAccount", 0x6803000F, {}, T::kString, nullptr,
     "The name of the OE Mail account", false},
    {13, K::kGet, "RegistryKey", 0x6803000E, {}, T::kString, nullptr,
     "A key identifying the datasource location", false},
    {14, K::kGet, "RecipientAddr", 0x6803000D, {}, T::kString, nullptr,
     "The recipient's email address", false},
    {15, K::kGet, "RecipientName", 0x6803000C, {}, T::kString, nullptr, "The recipient's name",
     false},
    {16, K::kGet, "SenderAddr", 0x6803000B, {}, T::kString, nullptr,
     "The sender's email address", false},
    {17, K::kGet, "SenderName", 0x6803000A, {}, T::kString, nullptr,
     "The message sender's name", false},
    {18, K::kGet, "Server", 0x68030009, {}, T::kString, nullptr,
     "The name of the mail or newsgroup server", false},
    {19, K::kGet, "Newsgroup", 0x68030008, {}, T::kString, nullptr, "The name of the newsgroup",
     false},
    {20, K::kGet, "AnswerMessageID", 0x68030007, {}, T::kString, nullptr,
     "The message ID of the message that this is a reply to", false},
    {21, K::kGet, "SenderAddrName", 0x68030006, {}, T::kString, nullptr,
     "The name associated with the sender's email address", false},
    {22, K::kGet, "Subject", 0x68030005, {}, T::kString, nullptr,
     "The subject line of the message", false},
    {23, K::kGet, "MessageID", 0x68030004, {}, T::kString, nullptr, "The ID of the message",
     false},
    {24, K::kGet, "OrigSubject", 0x68030003, {}, T::kString, nullptr,
     "The original subject line of the message (i.e. less any \"Re:\" for replies etc..)",
     false},
    {25, K::kGet, "DateReceived", 0x68030002, {}, T::kDate, nullptr,
     "Date the message was received ", false},
    {26, K::kGet, "DateSaved", 0x68030001, {}, T::kDate, nullptr,
     "The date this message was saved into OE", false},
    {27, K::kGet, "DateCreated", 0x68030000, {}, T::kDate, nullptr,
     "The date the message was originally created", false},
};

// ---- _OEMsgSegments / _OEMsgSegment -------------------------------------------
constexpr MemberInfo kOEMsgSegmentsMembers[] = {
    {1, K::kGet, "Item", 0x00000000, kVariantKey, T::kObject, "OEMsgSegment", nullptr, false},
    {2, K::kGet, "Count", 0x68030002, {}, T::kLong, nullptr, nullptr, false},
    {3, K::kGet, "NewEnum", -4, {}, T::kUnknown, nullptr, nullptr, false},
};

constexpr ParamInfo kKeyLet[] = {{"value", T::kString, false, false, 0}};

constexpr MemberInfo kOEMsgSegmentMembers[] = {
    {1, K::kGet, "Key", 0x40030000, {}, T::kString, nullptr, nullptr, false},
    {2, K::kLet, "Key", 0x40030000, kKeyLet, T::kVoid, nullptr, nullptr, false},
    {3, K::kGet, "msgSegmentLen", 0x68030001, {}, T::kInteger, nullptr,
     "The length of the text in this segment (512 for all but the last segment)", false},
    {4, K::kGet, "msgText", 0x68030000, {}, T::kString, nullptr,
     "The text of this segment of the message", false},
};

// ---- _OEIdentities / _OEIdentity ----------------------------------------------
constexpr ParamInfo kIdentitiesAdd[] = {
    {"Key", T::kString, true, false, 0},
    {"OERunning", T::kBoolean, true, false, 0},
    {"UserName", T::kString, true, false, 0},
    {"BackgroundCompact", T::kBoolean, true, false, 0},
    {"MigrationDone", T::kBoolean, true, false, 0},
    {"StorePath", T::kString, true, false, 0},
    {"VersionNumber", T::kString, true, false, 0},
};

constexpr MemberInfo kOEIdentitiesMembers[] = {
    {1, K::kMethod, "Add", 0x60030001, kIdentitiesAdd, T::kObject, "OEIdentity", nullptr, false},
    {2, K::kGet, "Item", 0x00000000, kVariantKey, T::kObject, "OEIdentity", nullptr, false},
    {3, K::kGet, "Count", 0x68030000, {}, T::kLong, nullptr, nullptr, false},
    {4, K::kGet, "NewEnum", -4, {}, T::kUnknown, nullptr, nullptr, true},
};

constexpr MemberInfo kOEIdentityMembers[] = {
    {1, K::kGet, "Key", 0x40030000, {}, T::kString, nullptr, nullptr, false},
    {2, K::kLet, "Key", 0x40030000, kKeyLet, T::kVoid, nullptr, nullptr, false},
    {3, K::kGet, "StorePath", 0x68030004, {}, T::kString, nullptr, nullptr, false},
    {4, K::kGet, "VersionNumber", 0x68030003, {}, T::kString, nullptr, nullptr, false},
    {5, K::kGet, "MigrationDone", 0x68030000, {}, T::kBoolean, nullptr,
     "TRUE if current message store was converted from an earlier version of Outlook Express.",
     false},
    {6, K::kGet, "BackgroundCompact", 0x68030001, {}, T::kBoolean, nullptr,
     "TRUE if background compaction is enabled. If background compaction is ON and Outlook "
     "Express is running, the message store may be updated while Kestrel is accessing it, with "
     "unpredictable consequences.",
     false},
    {7, K::kGet, "UserName", 0x00000000, {}, T::kString, nullptr, nullptr, false},
    {8, K::kGet, "OERunning", 0x68030002, {}, T::kBoolean, nullptr,
     "TRUE if this user is currently running Outlook Express. If OE is running, there is the "
     "possibility that folder contents may change, with unpredictable consequences for Kestrel.",
     false},
};

// ---- classes ----------------------------------------------------------------
constexpr IID kOEMsgSegmentOtherIids[] = {IID__OEMsgSegment_V1};

constexpr char kFoldersHelp[] = "Collection of OEFolder objects within the current OE message store";
constexpr char kFolderHelp[] =
    "The Folder object identifies the Outlook Express folder from which messages are retrieved";
constexpr char kMessagesHelp[] =
    "This collection holds all the OEMessage objects for the current folder.";
constexpr char kMessageHelp[] =
    "The OEMessage object returns all the information available about a given message, via a "
    "range of attributes. For the text of the message, access the OEMsgSegments collection of "
    "the OEMessage object, retrieving each OEMsgSegment in turn.";
constexpr char kSegmentHelp[] = "A segment (up to 512 bytes) of a specific message";

constexpr ClassInfo kClasses[kClassCount] = {
    {ClassId::kOE, "OE", "_OE", CLSID_OE, IID__OE, {}, true, nullptr, kOEMembers},
    {ClassId::kOEFolders, "OEFolders", "_OEFolders", CLSID_OEFolders, IID__OEFolders, {}, false,
     kFoldersHelp, kOEFoldersMembers},
    {ClassId::kOEFolder, "OEFolder", "_OEFolder", CLSID_OEFolder, IID__OEFolder, {}, true,
     kFolderHelp, kOEFolderMembers},
    {ClassId::kOEMessages, "OEMessages", "_OEMessages", CLSID_OEMessages, IID__OEMessages, {},
     false, kMessagesHelp, kOEMessagesMembers},
    {ClassId::kOEMessage, "OEMessage", "_OEMessage", CLSID_OEMessage, IID__OEMessage, {}, true,
     kMessageHelp, kOEMessageMembers},
    {ClassId::kOEMsgSegments, "OEMsgSegments", "_OEMsgSegments", CLSID_OEMsgSegments,
     IID__OEMsgSegments, {}, false, nullptr, kOEMsgSegmentsMembers},
    {ClassId::kOEMsgSegment, "OEMsgSegment", "_OEMsgSegment", CLSID_OEMsgSegment,
     IID__OEMsgSegment, kOEMsgSegmentOtherIids, false, kSegmentHelp, kOEMsgSegmentMembers},
    {ClassId::kOEIdentities, "OEIdentities", "_OEIdentities", CLSID_OEIdentities,
     IID__OEIdentities, {}, false, nullptr, kOEIdentitiesMembers},
    {ClassId::kOEIdentity, "OEIdentity", "_OEIdentity", CLSID_OEIdentity, IID__OEIdentity, {},
     false, nullptr, kOEIdentityMembers},
};

constexpr LibraryInfo kLibrary = {
    "Kestrel", LIBID_Kestrel, 2, 0, 0, "Outlook Express - access folders and messages",
    "stdole2", kClasses};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

VARTYPE VariantTypeOf(TypeCode type) {
  switch (type) {
    case T::kVoid: return VT_EMPTY;
    case T::kBoolean: return VT_BOOL;
    case T::kInteger: return VT_I2;
    case T::kLong: return VT_I4;
    case T::kString: return VT_BSTR;
    case T::kDate: return VT_DATE;
    case T::kVariant: return VT_VARIANT;
    case T::kObject: return VT_DISPATCH;
    case T::kUnknown: return VT_UNKNOWN;
  }
  return VT_EMPTY;
}

std::string_view TypeName(TypeCode type) {
  switch (type) {
    case T::kVoid: return "";
    case T::kBoolean: return "Boolean";
    case T::kInteger: return "Integer";
    case T::kLong: return "Long";
    case T::kString: return "String";
    case T::kDate: return "Date";
    case T::kVariant: return "Variant";
    case T::kObject: return "Object";
    case T::kUnknown: return "IUnknown";
  }
  return "";
}

const LibraryInfo& KestrelLibrary() { return kLibrary; }

const ClassInfo& ClassOf(ClassId id) { return kClasses[static_cast<int>(id)]; }

const ClassInfo* FindClassByName(std::string_view name) {
  for (const ClassInfo& info : kClasses) {
    std::string_view candidate(info.name);
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = Lower(candidate[i]) == Lower(name[i]);
    if (same) return &info;
  }
  return nullptr;
}

std::string ProgIdOf(const ClassInfo& info) { return std::string(kLibrary.name) + "." + info.name; }

}  // namespace kestrel
