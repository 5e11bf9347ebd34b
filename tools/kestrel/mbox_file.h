// MboxFile: writes one folder's messages as an mbox file in the mboxrd form
// that mail programs import: each message after a "From " line naming its
// sender and date, its lines that start with any number of ">" and then
// "From " given one more ">", its bytes otherwise exactly as stored, and an
// empty line after it.
//
//   MboxFile mbox;
//   if (!mbox.Create("/out/Inbox.mbox", &error)) ...
//   mbox.Add("ann@example.org", date, text);
//   if (!mbox.Commit(&error)) ...   // now /out/Inbox.mbox exists
//
// The file is written under a temporary name of its own and takes its final
// name only in Commit, and never in place of an existing file: an
// interrupted export leaves no partial mbox, and never replaces one.
#ifndef TOLLAN_TOOLS_KESTREL_MBOX_FILE_H_
#define TOLLAN_TOOLS_KESTREL_MBOX_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace kestrel {

class MboxFile {
 public:
  MboxFile() = default;
  MboxFile(const MboxFile&) = delete;
  MboxFile& operator=(const MboxFile&) = delete;
  // Removes the temporary file when Commit was not reached.
  ~MboxFile();

  // Fails when `path` exists already or its folder cannot be written.
  bool Create(const std::string& path, std::string* error);

  // Appends one message. `sender` is the envelope address (spaces and
  // control characters become "_", "MAILER-DAEMON" when empty); `date` an
  // automation date, 0 when unknown.
  bool Add(const std::string& sender, double date, std::string_view message);

  // Gives the complete file its final name.
  bool Commit(std::string* error);

 private:
  std::string path_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// The "From " line of a message, without its line end:
// "From ann@example.org Wed Jan  1 01:31:38 2003".
std::string MboxFromLine(const std::string& sender, double date);

// `message` with every line that starts with ">"* "From " given one more ">".
std::string MboxQuote(std::string_view message);

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_MBOX_FILE_H_
