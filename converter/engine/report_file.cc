// The run's report as a CSV file.
#include "converter/engine/report_file.h"

#include <errno.h>
#include <string.h>

#include <cmath>
#include <ctime>

#include "platform/os/file.h"

namespace tollan {

namespace {

// One CSV field: quoted when it holds a quote, a comma or a line break, with
// every quote doubled.
void AppendField(std::string* out, const std::string& field) {
  if (field.find_first_of("\",\r\n") == std::string::npos) {
    *out += field;
    return;
  }
  *out += '"';
  for (char c : field) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

void AppendRow(std::string* out, const std::string (&fields)[7]) {
  for (size_t i = 0; i < 7; ++i) {
    if (i > 0) *out += ',';
    AppendField(out, fields[i]);
  }
  *out += "\r\n";
}

// "stem (n).ext" for "stem.ext".
std::string Numbered(const std::string& path, int n) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

// Gives the complete file `temp` the name `path` unless that name is taken.
// Returns 0 or the errno of the failure (EEXIST when taken).
int MoveNoReplace(const std::string& temp, const std::string& path) {
  return os::RenameNoReplace(temp, path) == 0 ? 0 : errno;
}

// Writes the report into a new temporary file beside `near` and sets *temp.
pst::Status WriteTemp(const RunReport& report, const std::string& near, std::string* temp) {
  const std::string text = ReportCsv(report);
  for (int n = 1;; ++n) {
    *temp = near + "." + std::to_string(os::ProcessId()) + "-" + std::to_string(n) + ".partial";
    int fd = os::CreateNew(*temp, 0644);
    if (fd < 0 && errno == EEXIST && n < 1000) continue;
    if (fd < 0) return pst::Status::IoError("cannot create " + *temp + ": " + strerror(errno));
    size_t done = 0;
    while (done < text.size()) {
      long long w = os::Write(fd, text.data() + done, text.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    const int write_errno = done == text.size() ? 0 : (errno ? errno : EIO);
    if (os::Close(fd) != 0 || write_errno != 0) {
      os::Remove(*temp);
      return pst::Status::IoError("cannot write " + *temp + ": " + strerror(write_errno ? write_errno : errno));
    }
    return pst::Status::Ok();
  }
}

}  // namespace

bool ReportHasEntries(const RunReport& report) {
  // Where a part of a split .pst begins is named, but is no fault.
  for (const MessageNote& m : report.messages) {
    if (m.what != MessageNote::What::kNewPart) return true;
  }
  for (const FileOutcome& f : report.files) {
    if (f.state == FileOutcome::State::kFailed || f.messages_unrecovered > 0) return true;
    if (f.state == FileOutcome::State::kSkipped && f.messages_total > 0) return true;
  }
  return false;
}

const char* NoteWhatText(MessageNote::What what) {
  switch (what) {
    case MessageNote::What::kFailed: return "failed";
    case MessageNote::What::kSkipped: return "skipped";
    case MessageNote::What::kIncomplete: return "incomplete";
    case MessageNote::What::kKeptOriginal: return "kept with its original attached";
    case MessageNote::What::kRecovered: return "recovered";
    case MessageNote::What::kMismatch: return "differs when read back";
    case MessageNote::What::kDuplicate: return "left out as a duplicate";
    case MessageNote::What::kNewPart: return "begins a new part of the .pst";
  }
  return "";
}

std::string ReportCsv(const RunReport& report) {
  std::string out;
  AppendRow(&out, {"folder file", "message number", "subject", "sender", "date", "what happened", "why"});
  for (const FileOutcome& f : report.files) {
    if (f.state == FileOutcome::State::kFailed) {
      AppendRow(&out, {f.dbx_path, "", "", "", "", "folder file not converted", f.error});
    } else if (f.state == FileOutcome::State::kSkipped && f.messages_total > 0) {
      AppendRow(&out, {f.dbx_path, "", "", "", "", "folder file skipped",
                       "it holds " + std::to_string(f.messages_total) + " message(s), not converted"});
    }
    if (f.messages_unrecovered > 0) {
      AppendRow(&out, {f.dbx_path, "", "", "", "", "messages not recovered",
                       std::to_string(f.messages_unrecovered) +
                           " message(s) that the folder index does not reach; convert again with "
                           "recovery on"});
    }
  }
  for (const MessageNote& m : report.messages) {
    AppendRow(&out, {m.folder_file, std::to_string(m.number), m.subject, m.sender, m.date,
                     NoteWhatText(m.what), m.why});
  }
  return out;
}

pst::Status WriteReportFile(const RunReport& report, const std::string& path) {
  std::string temp;
  pst::Status s = WriteTemp(report, path, &temp);
  if (!s.ok()) return s;
  int err = MoveNoReplace(temp, path);
  if (err != 0) {
    os::Remove(temp);
    return pst::Status::IoError(err == EEXIST ? path + " already exists; the report was not written"
                                              : "cannot write " + path + ": " + strerror(err));
  }
  return pst::Status::Ok();
}

pst::Status WriteReportBeside(const RunReport& report, const std::string& folder, std::string* path) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += kReportFileName;
  std::string temp;
  pst::Status s = WriteTemp(report, base, &temp);
  if (!s.ok()) return s;
  for (int n = 1;; ++n) {
    *path = n == 1 ? base : Numbered(base, n);
    int err = MoveNoReplace(temp, *path);
    if (err == 0) return pst::Status::Ok();
    if (err != EEXIST || n >= 10000) {
      os::Remove(temp);
      return pst::Status::IoError("cannot write " + *path + ": " + strerror(err));
    }
  }
}

std::string FormatReportDate(double date) {
  if (!(date > 0) || date > 2958465.0) return "";  // up to the year 9999
  const double seconds = std::round((date - 25569.0) * 86400.0);
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!os::UtcTime(t, &tm)) return "";
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace tollan
