// Report: the outcome of checking one PST file — the problems found (each
// with the file offset it concerns), counts of what was seen, and an optional
// outline of the node tree.
#ifndef TOLLAN_PLATFORM_PST_CHECK_REPORT_H_
#define TOLLAN_PLATFORM_PST_CHECK_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pst::check {

// One structural fault. `offset` is the absolute file offset of the structure
// at fault (page, block, header field); `what` says what is wrong with it in
// terms of the [MS-PST] structures, e.g. "BBT page: CRC mismatch".
struct Problem {
  uint64_t offset = 0;
  std::string what;
  // "offset 0x6800: BBT page: CRC mismatch ..."
  std::string ToString() const;
};

struct Stats {
  uint64_t file_size = 0;
  uint64_t pages = 0;         // B-tree pages reached from the header
  uint64_t nodes = 0;         // NBT entries
  uint64_t blocks = 0;        // BBT entries
  uint64_t amaps = 0;         // allocation map pages
  uint64_t folders = 0;       // normal folders
  uint64_t search_folders = 0;
  uint64_t messages = 0;      // normal messages
  uint64_t associated = 0;    // folder-associated messages
  uint64_t attachments = 0;
};

// An allocation map page the checker looked at (listed on request).
struct MapPage {
  uint64_t offset = 0;
  uint64_t interval = 0;   // the AMap interval it belongs to
  std::string kind;        // "AMap", "PMap", "FMap", "FPMap", "FPMap copy"
};

struct Report {
  // Set when the file could not be checked at all (unreadable, not a Unicode
  // PST). Then `problems` may be empty and the other fields are meaningless.
  std::string fatal;
  std::vector<Problem> problems;
  // Problems beyond the kept ones (kMaxProblems) are only counted.
  uint64_t dropped_problems = 0;
  // Remarks that do not make the file unsound (e.g. parts not checked).
  std::vector<std::string> notes;
  Stats stats;
  // One line per folder/message node, indented by depth (filled on request).
  std::vector<std::string> tree;
  // Every map page in file order, sound or not (filled on request).
  std::vector<MapPage> map_pages;

  static constexpr size_t kMaxProblems = 5000;

  bool ok() const { return fatal.empty() && problems.empty() && dropped_problems == 0; }
  void Add(uint64_t offset, std::string what);
  // True if some problem's text contains `needle` (for tests and callers).
  bool Mentions(const std::string& needle) const;
  // "ok: N nodes, M blocks, K folders, J messages"
  std::string Summary() const;
};

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_REPORT_H_
