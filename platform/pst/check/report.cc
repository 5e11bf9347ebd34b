// Problem formatting and report bookkeeping.
#include "platform/pst/check/report.h"

#include <cinttypes>
#include <cstdio>

namespace pst::check {

std::string Problem::ToString() const {
  char buf[40];
  std::snprintf(buf, sizeof(buf), "offset 0x%" PRIx64 ": ", offset);
  return buf + what;
}

void Report::Add(uint64_t offset, std::string what) {
  if (problems.size() >= kMaxProblems) {
    ++dropped_problems;
    return;
  }
  problems.push_back(Problem{offset, std::move(what)});
}

bool Report::Mentions(const std::string& needle) const {
  for (const Problem& p : problems) {
    if (p.what.find(needle) != std::string::npos) return true;
  }
  return false;
}

std::string Report::Summary() const {
  return "ok: " + std::to_string(stats.nodes) + " nodes, " + std::to_string(stats.blocks) +
         " blocks, " + std::to_string(stats.folders + stats.search_folders) + " folders, " +
         std::to_string(stats.messages) + " messages";
}

}  // namespace pst::check
