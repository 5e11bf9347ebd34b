// Runs the node-database checks, then the messaging checks on top of them.
#include "platform/pst/check/check.h"

#include "platform/pst/check/messaging_checker.h"
#include "platform/pst/check/ndb_checker.h"

namespace pst::check {

Report CheckSource(const Source& source, const CheckOptions& options) {
  Report report;
  NdbChecker ndb(source, &report);
  ndb.set_list_map_pages(options.map_pages);
  if (!ndb.ReadHeader()) return report;
  ndb.CheckAll();
  MessagingChecker messaging(ndb, &report);
  messaging.CheckAll();
  if (options.tree) messaging.BuildTree();
  return report;
}

Report CheckFile(const std::string& path, const CheckOptions& options) {
  std::string error;
  std::unique_ptr<FileSource> file = FileSource::Open(path, &error);
  if (file == nullptr) {
    Report report;
    report.fatal = error;
    return report;
  }
  Report report = CheckSource(*file, options);
  if (!report.fatal.empty()) report.fatal = path + ": " + report.fatal;
  return report;
}

}  // namespace pst::check
