// kestrel recover FILE.dbx|STORE_DIR OUT_DIR: scans folder files for every
// message their bytes still hold, without trusting the index, and writes them
// as .eml files: the messages the index lists under live/, the others (whose
// index entry or record is gone) under recovered/. A store directory gets one
// subfolder per folder file; every .dbx file in it but the folder list is
// scanned, since a damaged folder list may no longer name them all.
//
// One line per file written: its path, how it was found (index, record,
// orphan or fragment), the offset of its first body block, its size, and
// "incomplete" when its chain was cut short or damaged (a live message's
// damaged chain is written as far as it can be read, and what was lost goes
// to the error output). Files are created exclusively: an existing
// file is never overwritten, and a failed write leaves no file behind.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/recovery_scan.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/new_file.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

struct RecoverOptions {
  std::string input;
  std::string out_dir;
};

struct Totals {
  uint64_t by_origin[4] = {0, 0, 0, 0};
  uint64_t incomplete = 0;
  uint64_t failed = 0;  // messages found but not written
};

// Writes `text` to a new file at `path`: first under a temporary name, then
// linked to its final name, which fails when that name exists.
bool WriteExclusive(const fs::path& path, const std::string& text, std::string* error) {
  const std::string temp = path.string() + ".part";
#if defined(_WIN32)
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0644);
#else
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
#endif
  if (fd < 0) {
    *error = temp + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
#if defined(_WIN32)
  const bool written = done == text.size() && ::_commit(fd) == 0;
#else
  const bool written = done == text.size() && ::fsync(fd) == 0;
#endif
  const int write_errno = errno;
  ::close(fd);
  if (!written) {
    ::unlink(temp.c_str());
    *error = path.string() + ": " + std::strerror(write_errno);
    return false;
  }
  if (RenameNoReplace(temp, path.string()) != 0) {
    *error = path.string() + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

// Scans one folder file and writes what it holds below `out`. Returns false
// when the file cannot be read at all.
bool RecoverFile(const std::string& path, const fs::path& out, Totals* totals,
                 std::string* error) {
  std::unique_ptr<dbx::FileSource> file;
  dbx::DbxStatus s = dbx::FileSource::Open(path, false, &file);
  dbx::DbxRecoveryScan scan;
  if (s.ok()) s = dbx::ScanFolderFile(*file, &scan);
  if (!s.ok()) {
    *error = s.ToString();
    return false;
  }
  uint64_t live = 0, recovered = 0;
  for (const dbx::DbxRecoveredMessage& m : scan.messages) {
    const bool is_live = m.origin == dbx::RecoveryOrigin::kIndex;
    const fs::path dir = out / (is_live ? "live" : "recovered");
    const fs::path name = dir / (std::to_string(is_live ? ++live : ++recovered) + ".eml");
    std::string text, why, damage;
    s = dbx::ReadRecoveredText(*file, m, &text, &damage);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!s.ok()) {
      why = s.ToString();
    } else if (ec) {
      why = "cannot create " + dir.string() + ": " + ec.message();
    } else if (!WriteExclusive(name, text, &why)) {
      why = "not written: " + why;
    }
    if (!why.empty()) {
      std::fprintf(stderr, "kestrel: %s: message at offset %u: %s\n", path.c_str(),
                   m.body_position, why.c_str());
      ++totals->failed;
      continue;
    }
    ++totals->by_origin[static_cast<int>(m.origin)];
    const bool incomplete = m.incomplete || !damage.empty();
    if (incomplete) ++totals->incomplete;
    if (!damage.empty()) {
      std::fprintf(stderr, "kestrel: %s: message at offset %u is damaged: %s\n", path.c_str(),
                   m.body_position, damage.c_str());
    }
    std::printf("%s\t%s\t%u\t%zu%s\n", name.string().c_str(), dbx::RecoveryOriginName(m.origin),
                m.body_position, text.size(), incomplete ? "\tincomplete" : "");
  }
  return true;
}

bool EndsWithDbx(const std::string& name) {
  return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".dbx") == 0;
}

int RunRecover(const RecoverOptions& opt) {
  Totals totals;
  std::string error;
  int status = 0;
  std::error_code ec;
  if (fs::is_directory(opt.input, ec)) {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(opt.input, ec)) {
      const std::string name = e.path().filename().string();
      if (EndsWithDbx(name) && strcasecmp(name.c_str(), "folders.dbx") != 0 &&
          e.is_regular_file(ec)) {
        names.push_back(name);
      }
    }
    if (ec) return Fail(opt.input + ": " + ec.message());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string stem = name.substr(0, name.size() - 4);
      if (!RecoverFile((fs::path(opt.input) / name).string(), fs::path(opt.out_dir) / stem,
                       &totals, &error)) {
        std::fprintf(stderr, "kestrel: %s not scanned: %s\n", name.c_str(), error.c_str());
        status = 1;
      }
    }
  } else if (!RecoverFile(opt.input, opt.out_dir, &totals, &error)) {
    return Fail(error);
  }
  std::printf("%llu through the index, %llu through surviving records, %llu from orphaned chains, "
              "%llu fragments, %llu incomplete",
              static_cast<unsigned long long>(totals.by_origin[0]),
              static_cast<unsigned long long>(totals.by_origin[1]),
              static_cast<unsigned long long>(totals.by_origin[2]),
              static_cast<unsigned long long>(totals.by_origin[3]),
              static_cast<unsigned long long>(totals.incomplete));
  if (totals.failed) {
    std::printf(", %llu not written", static_cast<unsigned long long>(totals.failed));
    status = 1;
  }
  std::printf("\n");
  return status;
}

}  // namespace

void AddRecoverCommand(CLI::App& app, int* exit_code) {
  auto opt = std::make_shared<RecoverOptions>();
  CLI::App* cmd = app.add_subcommand(
      "recover",
      "Scan folder files for every message they still hold, also those the index no longer "
      "reaches, and write them as .eml files");
  cmd->add_option("INPUT", opt->input, "A DBX folder file or a store directory")->required();
  cmd->add_option("OUT_DIR", opt->out_dir, "Directory to write into")->required();
  cmd->callback([opt, exit_code] { *exit_code = RunRecover(*opt); });
}

}  // namespace kestrel
