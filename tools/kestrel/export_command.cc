// kestrel export FILE.dbx|STORE_DIR OUT_DIR: writes each message's complete
// stored text, byte for byte, as an .eml file (a damaged body as far as it
// can be read, named on the error output); a store gets one subfolder
// per folder file. With --mbox each folder file becomes one mbox file
// instead (mbox_file.h). The exit status is 0 only when every message was
// written whole.
#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdio>
#include <filesystem>
#include <set>

#include "reader/dbx/session.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/mbox_file.h"
#include "tools/kestrel/new_file.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

struct ExportOptions {
  std::string input;
  std::string out_dir;
  bool inactive = false;
  bool mbox = false;
};

struct Counts {
  uint64_t written = 0;
  uint64_t skipped = 0;
  uint64_t damaged = 0;  // written as far as their damaged body could be read
};

#if defined(_WIN32)
// Windows: no close-on-exec, and files are written as bytes, not as text.
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
#else
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
#endif

// Writes `text` as a new file `stem`.eml in `dir`, or "stem (2).eml", ...
// when that name is taken: through a temporary file created exclusively, so
// that a failed write never leaves a partial .eml behind and no existing
// file is ever overwritten.
bool WriteNew(const fs::path& dir, const std::string& stem, const std::string& text,
              std::string* error) {
  const std::string base = (dir / stem).string();
  std::string temp;
  int fd = -1;
  for (int n = 1; fd < 0 && n < 1000; ++n) {
    temp = base + ".eml." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".part";
    fd = ::open(temp.c_str(), kNewFileFlags, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = "cannot create a file in " + dir.string() + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    ssize_t w = ::write(fd, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) ok = false;
    else done += static_cast<size_t>(w);
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    *error = "cannot write " + base + ".eml: " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  std::string target = base + ".eml";
  for (int n = 2; RenameNoReplace(temp, target) != 0; ++n) {
    if (errno != EEXIST || n > 1000) {
      *error = "cannot write " + target + ": " + std::strerror(errno);
      ::unlink(temp.c_str());
      return false;
    }
    target = base + " (" + std::to_string(n) + ").eml";
  }
  return true;
}

// Exports the folder file `name` of the session's store directory into
// `out`: a folder of .eml files, or with `mbox` one mbox file of that path
// with ".mbox" appended. Returns the failure of the folder as a whole in
// *error.
bool ExportFolder(dbx::DbxSession& session, const std::string& name, const fs::path& out, bool mbox,
                  Counts* counts, std::string* error) {
  dbx::DbxFolderContents contents;
  dbx::DbxFolderOpen open = session.OpenFolder(name, false, &contents);
  if (!open.status.ok() && open.status.code() != dbx::kResultUnreadableBody) {
    *error = open.status.ToString();
    return false;
  }
  std::error_code ec;
  fs::create_directories(mbox ? out.parent_path() : out, ec);
  if (ec) {
    *error = "cannot create " + out.string() + ": " + ec.message();
    return false;
  }
  MboxFile mbox_file;
  fs::path mbox_path = out;
  mbox_path += ".mbox";
  if (mbox && !mbox_file.Create(mbox_path.string(), error)) return false;
  for (size_t i = 0; i < contents.messages.size(); ++i) {
    const dbx::DbxMessage& m = contents.messages[i];
    // A damaged chain is written as far as it can be read, and said so.
    dbx::DbxSalvagedBody body;
    dbx::DbxStatus s = session.SalvageBody(m.body_position, &body);
    std::string why;
    if (!s.ok()) {
      why = s.ToString();
    } else if (!body.found) {
      why = m.body_unreadable ? "its body position points into its record" : "it has no body";
    }
    if (!why.empty()) {
      std::fprintf(stderr, "kestrel: %s: message %zu skipped: %s\n", name.c_str(), i + 1,
                   why.c_str());
      ++counts->skipped;
      continue;
    }
    if (mbox) {
      if (!mbox_file.Add(m.sender_addr, m.date_received, body.text)) {
        *error = "cannot write " + mbox_path.string();
        return false;
      }
    } else if (!WriteNew(out, std::to_string(i + 1), body.text, error)) {
      return false;
    }
    ++counts->written;
    if (!body.whole()) {
      std::fprintf(stderr, "kestrel: %s: message %zu written in part: %s\n", name.c_str(), i + 1,
                   body.damage.c_str());
      ++counts->damaged;
    }
  }
  session.CloseFile();
  if (mbox && !mbox_file.Commit(error)) return false;
  // An index that yields fewer messages than the header declares lost the
  // others: the folder was not exported whole.
  if (contents.header.message_count > contents.messages.size()) {
    *error = "the index of the folder file is damaged: it lists " + std::to_string(contents.messages.size()) +
             " of the " + std::to_string(contents.header.message_count) +
             " messages its header declares; only those were exported";
    return false;
  }
  return true;
}

// A subfolder name for a folder file: its name without ".dbx", with path
// separators and control characters replaced.
std::string SubfolderName(const std::string& file) {
  std::string stem = file;
  if (stem.size() > 4 && strcasecmp(stem.c_str() + stem.size() - 4, ".dbx") == 0) {
    stem.resize(stem.size() - 4);
  }
  for (char& c : stem) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (stem.empty() || stem == "." || stem == "..") stem = "_" + stem;
  return stem;
}

int RunExport(const ExportOptions& opt) {
  dbx::DbxSession session;
  Counts counts;
  std::string error;
  std::error_code ec;
  int failed_folders = 0;
  if (fs::is_directory(opt.input, ec)) {
    session.set_store_directory(opt.input);
    std::vector<dbx::DbxFolderRecord> folders;
    dbx::DbxStatus s = session.OpenStore(opt.inactive, false, &folders);
    if (!s.ok()) return Fail(s.ToString());
    std::set<std::string> done_files, used_names;
    for (const dbx::DbxFolderRecord& f : folders) {
      if (f.folder_file.empty()) continue;
      std::string lower = f.folder_file;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (!done_files.insert(lower).second) continue;
      std::string sub = SubfolderName(f.folder_file);
      for (int n = 2; !used_names.insert(sub).second; ++n) sub = SubfolderName(f.folder_file) + "-" + std::to_string(n);
      if (!ExportFolder(session, f.folder_file, fs::path(opt.out_dir) / sub, opt.mbox, &counts, &error)) {
        std::fprintf(stderr, "kestrel: folder \"%s\" not exported: %s\n", f.folder_name.c_str(),
                     error.c_str());
        ++failed_folders;
      }
    }
  } else {
    std::string dir, name;
    SplitPath(opt.input, &dir, &name);
    session.set_store_directory(dir);
    fs::path out = opt.out_dir;
    if (opt.mbox) out /= SubfolderName(name);
    if (!ExportFolder(session, name, out, opt.mbox, &counts, &error)) return Fail(error);
  }
  std::printf("%llu written", static_cast<unsigned long long>(counts.written));
  if (counts.damaged > 0) std::printf(" (%llu in part)", static_cast<unsigned long long>(counts.damaged));
  std::printf(", %llu skipped\n", static_cast<unsigned long long>(counts.skipped));
  if (failed_folders > 0) {
    return Fail(std::to_string(failed_folders) + " folder(s) could not be exported in full");
  }
  // Each message left out or cut short is named above; the status says that
  // the export is not whole.
  if (counts.skipped > 0 || counts.damaged > 0) {
    return Fail(std::to_string(counts.skipped) + " message(s) not written and " + std::to_string(counts.damaged) +
                " written in part (named above)");
  }
  return 0;
}

}  // namespace

void AddExportCommand(CLI::App& app, int* exit_code) {
  auto opt = std::make_shared<ExportOptions>();
  CLI::App* cmd = app.add_subcommand(
      "export", "Write every message of a folder file or a store as .eml files");
  cmd->add_option("INPUT", opt->input, "A DBX folder file or a store directory")->required();
  cmd->add_option("OUT_DIR", opt->out_dir, "Directory to write into")->required();
  cmd->add_flag("--inactive", opt->inactive, "Store: also export folders that are not active");
  cmd->add_flag("--mbox", opt->mbox,
                "One mbox file (mboxrd) per folder file instead of .eml files; never replaces a file");
  cmd->callback([opt, exit_code] { *exit_code = RunExport(*opt); });
}

}  // namespace kestrel
