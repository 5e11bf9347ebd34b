// The file calls of platform/os under Windows, in a folder given as UTF-8
// (a long, non-ASCII one): each case prints "ok NAME" or "FAILED NAME: why";
// the exit status is 1 when any failed. Run by scripts/test-windows.sh.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/file.h"
#include "platform/os/process.h"

namespace {

std::string Read(const std::string& path) {
  int fd = os::OpenForReading(path);
  if (fd < 0) return "(cannot open: " + std::string(std::strerror(errno)) + ")";
  char buf[64];
  const long long n = os::ReadAt(fd, buf, sizeof buf, 0);
  os::Close(fd);
  return n < 0 ? "(cannot read)" : std::string(buf, static_cast<size_t>(n));
}

bool Write(const std::string& path, const std::string& text) {
  int fd = os::CreateNew(path, 0644);
  if (fd < 0) return false;
  const bool ok = os::WriteAt(fd, text.data(), text.size(), 0) == static_cast<long long>(text.size());
  return os::Close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = os::Utf8Arguments(argc, argv);
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: os_files_client FOLDER\n");
    return 2;
  }
  const std::string dir = os::SlashPath(args[1]) + "/";
  const std::string a = dir + "Nachricht ä.partial", b = dir + "Nachricht ä.pst", c = dir + "日本.pst";
  struct Case {
    const char* name;
    bool ok;
  };
  const Case cases[] = {
      {"a new file is created", Write(a, "first") && Read(a) == "first"},
      {"an existing file is not opened again", !Write(a, "second") && errno == EEXIST && Read(a) == "first"},
      {"renaming to a free name moves the file", os::RenameNoReplace(a, b) == 0 && !os::Exists(a) &&
                                                    Read(b) == "first"},
      {"renaming onto a taken name fails and keeps both",
       Write(c, "other") && os::RenameNoReplace(c, b) != 0 && errno == EEXIST && Read(b) == "first" &&
           Read(c) == "other"},
      {"a removed file is gone", os::Remove(c) == 0 && !os::Exists(c) && os::Remove(c) != 0 && errno == ENOENT},
      {"the folder takes new files, a file or a missing folder does not",
       os::IsWritableFolder(dir) && os::IsWritableFolder(args[1]) && !os::IsWritableFolder(b) &&
           !os::IsWritableFolder(dir + "missing/")},
  };
  int status = 0;
  for (const Case& t : cases) {
    std::printf("%s %s\n", t.ok ? "ok" : "FAILED", t.name);
    if (!t.ok) status = 1;
  }
  return status;
}
