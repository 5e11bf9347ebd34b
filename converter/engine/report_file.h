// The run's report file: one CSV row (RFC 4180 quoting, CR LF line ends,
// UTF-8) per message that did not come through cleanly, and per folder file
// that could not be converted at all, so that a user can find each of them.
//
//   std::string path;
//   if (state.report.NeedsReport())
//     Status s = WriteReportBeside(state.report, output_folder, &path);
//
// Report files are written whole under a temporary name and then given their
// final name without replacing any file: a failed write leaves no report,
// and never a partial one.
#ifndef TOLLAN_CONVERTER_ENGINE_REPORT_FILE_H_
#define TOLLAN_CONVERTER_ENGINE_REPORT_FILE_H_

#include <string>

#include "converter/engine/page_state.h"
#include "platform/pst/status.h"

namespace tollan {

// The name of the report written beside the outputs.
inline constexpr const char* kReportFileName = "conversion-report.csv";

// True when something of the run went wrong: a message noted (other than
// where a part of a .pst begins) or a file that failed.
bool ReportHasEntries(const RunReport& report);

// The CSV text: the header row, then the failed files, then the messages in
// the order they were met.
std::string ReportCsv(const RunReport& report);

// What a note's "what happened" column says ("failed", "kept with its
// original attached", ...).
const char* NoteWhatText(MessageNote::What what);

// Writes the report to `path`; fails when a file of that name exists.
pst::Status WriteReportFile(const RunReport& report, const std::string& path);

// Writes the report into `folder` under kReportFileName or, when that is
// taken, the first free "conversion-report (2).csv", ...; sets *path.
pst::Status WriteReportBeside(const RunReport& report, const std::string& folder, std::string* path);

// An automation date (days since 30 December 1899) as "YYYY-MM-DD HH:MM:SS";
// "" for 0 or a date out of range.
std::string FormatReportDate(double date);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_REPORT_FILE_H_
