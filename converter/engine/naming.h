// Names and texts the conversion engine and the batch driver build: the time
// stamp of .pst names, the temporary .eml file names, the folder name taken
// from a .dbx file name and the progress texts.
#ifndef TOLLAN_CONVERTER_ENGINE_NAMING_H_
#define TOLLAN_CONVERTER_ENGINE_NAMING_H_

#include <cstdint>
#include <ctime>
#include <string>

namespace tollan {

// The local time `when` as "d.m.YY H.m.ss": day, month, hour and minute
// without leading zeros, two-digit year and seconds (5.3.26 14.7.09).
std::string FormatTimestamp(std::time_t when);
// The same for the current local time.
std::string Timestamp();

// The subject made fit for a file name: every : ? \ / * " < > | removed, then
// every control character 1 to 31, then every "."; cut to its first 220
// characters. Texts are UTF-8 and are cut on character boundaries.
std::string CleanSubject(const std::string& subject);

// The temporary file path for message `index` of a hand-picked file:
// folder + index + "_" + the cleaned subject without surrounding spaces +
// ".eml", limited by LimitTempPath.
std::string SubjectTempPath(const std::string& output_folder, int64_t index,
                            const std::string& subject);

// The temporary file path for message `index` of a default-store folder:
// folder + index + ".eml", limited by LimitTempPath.
std::string IndexTempPath(const std::string& output_folder, int64_t index);

// A path longer than 220 characters becomes its first 220 characters +
// ".eml" (224 in all). The last component is also kept within the file
// system's 255-byte name limit.
std::string LimitTempPath(const std::string& path);

// The folder name of a .dbx file name: spaces trimmed and every ".dbx"
// removed, exact case (a.dbx.old.dbx gives a.old; Inbox.DBX stays).
std::string FolderNameFromFileName(const std::string& file_name);

// "40 % Done. 2/5 Email Message(s) Converted.": the bar value rounded to a
// whole number, halves to the even neighbour.
std::string ProgressText(float bar_value, int64_t done, int64_t count);

// The value of the per-file bar after `done` of `count` messages.
float ProgressValue(int64_t done, int64_t count);

// `path` when no file of that name exists, else the first free
// "stem (2).ext", "stem (3).ext", ... beside it.
std::string FreeFilePath(const std::string& path);

// The .pst path folder + name + stamp + ".pst". A name too long for the
// file system's limit on one file name (NAME_MAX of `folder`) is shortened,
// on a character boundary, so that the name, the stamp, ".pst" and a
// " (999)" of a free-name fallback fit; the stamp and ".pst" stay whole.
std::string PstPath(const std::string& folder, const std::string& name, const std::string& stamp);

// The longest file name (bytes) the file system of `dir` takes; 255 when it
// does not say.
size_t NameMax(const std::string& dir);

// The longest prefix of `s` of at most `max_bytes` bytes that does not end
// inside a UTF-8 sequence.
std::string Utf8PrefixBytes(const std::string& s, size_t max_bytes);

// Bytes of a path or name made fit to show: valid UTF-8 stays as it is,
// every byte that is not becomes U+FFFD. Paths themselves stay bytes.
std::string DisplayText(const std::string& bytes);

// A path as a terminal line may show it so that it can still be found:
// valid UTF-8 without control characters stays as it is; any other is
// written in the shell's $'...' form, each invalid byte or control
// character as \xNN (\n, \t for a line feed or tab), so that pasting it
// into a shell names the file.
std::string QuotedPath(const std::string& bytes);

// Text without leading and trailing spaces.
std::string TrimSpaces(const std::string& s);

// Number of characters of UTF-8 text (bytes that do not continue a sequence).
size_t Utf8Length(const std::string& s);

// The first `n` characters of UTF-8 text.
std::string Utf8Prefix(const std::string& s, size_t n);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_NAMING_H_
