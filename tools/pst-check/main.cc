// pst-check: checks the structure of a Unicode PST file.
//
//   pst-check [-v] FILE.pst
//
// Exit status 0 when the file is sound (one summary line), 1 when problems
// were found (one line each, with the file offset), 2 for usage errors, an
// unreadable file or a file that is not a Unicode PST.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/process.h"
#include "platform/pst/check/check.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: pst-check [-v] FILE.pst\n");
  return 2;
}

void Help() {
  std::printf(
      "Usage: pst-check [-v] FILE.pst\n"
      "Checks the structure of a Unicode Outlook personal-folder file (.pst).\n\n"
      "Options:\n"
      "  -v             also list the folder tree, the offset of every allocation\n"
      "                 map page and notes\n"
      "  -h, --help     show this help and exit\n"
      "  --version      show the version and exit\n\n"
      "Exit status: 0 when the file is sound (one summary line), 1 when problems\n"
      "were found (one line each, with its file offset), 2 for usage errors, an\n"
      "unreadable file or a file that is not a Unicode PST.\n");
}

}  // namespace

int main(int argc, char** argv) {
  os::UseUtf8Console();
  const std::vector<std::string> args = os::Utf8Arguments(argc, argv);
  bool verbose = false;
  const char* path = nullptr;
  for (size_t i = 1; i < args.size(); ++i) {
    const char* arg = args[i].c_str();
    if (std::strcmp(arg, "-v") == 0) {
      verbose = true;
    } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      Help();
      return 0;
    } else if (std::strcmp(arg, "--version") == 0) {
      std::printf("pst-check %s\n", TOLLAN_VERSION);
      return 0;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "pst-check: unknown option %s\n", arg);
      return Usage();
    } else if (path == nullptr) {
      path = arg;
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();

  pst::check::CheckOptions options;
  options.tree = verbose;
  options.map_pages = verbose;
  pst::check::Report report = pst::check::CheckFile(path, options);
  if (!report.fatal.empty()) {
    std::fprintf(stderr, "pst-check: %s\n", report.fatal.c_str());
    return 2;
  }
  if (verbose) {
    for (const std::string& line : report.tree) std::printf("%s\n", line.c_str());
    for (const pst::check::MapPage& m : report.map_pages) {
      std::printf("map page 0x%llx: %s (interval %llu)\n", static_cast<unsigned long long>(m.offset),
                  m.kind.c_str(), static_cast<unsigned long long>(m.interval));
    }
    for (const std::string& note : report.notes) std::printf("note: %s\n", note.c_str());
  }
  if (report.ok()) {
    std::printf("%s\n", report.Summary().c_str());
    return 0;
  }
  for (const pst::check::Problem& p : report.problems) std::printf("%s\n", p.ToString().c_str());
  if (report.dropped_problems > 0) {
    std::printf("... and %llu more problems\n", static_cast<unsigned long long>(report.dropped_problems));
  }
  return 1;
}
