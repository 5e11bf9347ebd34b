// The checker's entry points: check a Unicode PST file (or bytes in memory)
// against the [MS-PST] structures and what Outlook cross-checks, and get back
// a Report listing every problem with its file offset.
//
//   pst::check::Report r = pst::check::CheckFile("out.pst");
//   if (!r.ok()) for (const auto& p : r.problems) std::cerr << p.ToString() << "\n";
#ifndef TOLLAN_PLATFORM_PST_CHECK_CHECK_H_
#define TOLLAN_PLATFORM_PST_CHECK_CHECK_H_

#include <string>

#include "platform/pst/check/report.h"
#include "platform/pst/check/source.h"

namespace pst::check {

struct CheckOptions {
  // Fill Report::tree with an outline of the folders and messages.
  bool tree = false;
  // Fill Report::map_pages with the place of every allocation map page.
  bool map_pages = false;
};

// Opens `path` read-only and checks it. An unreadable file or one that is not
// a Unicode PST gives a report with `fatal` set.
Report CheckFile(const std::string& path, const CheckOptions& options = {});

// Checks the bytes of `source`.
Report CheckSource(const Source& source, const CheckOptions& options = {});

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_CHECK_H_
