// Reading a finished PST back against the digests of what was written.
#include "platform/pst/readback/read_back.h"

#include "platform/pst/check/source.h"
#include "platform/pst/readback/message_reader.h"
#include "platform/pst/readback/node_reader.h"

namespace pst::readback {

ReadBackReport ReadBack(const std::string& path,
                        const std::map<uint32_t, std::vector<MessageDigest>>& written) {
  ReadBackReport report;
  for (const auto& [folder, digests] : written) report.total += digests.size();
  std::string error;
  auto file = check::FileSource::Open(path, &error);
  if (!file) {
    report.error = error;
    return report;
  }
  NodeReader ndb(*file);
  if (!ndb.Open(&error)) {
    report.error = path + ": " + error;
    return report;
  }
  MessageReader reader(ndb);
  std::vector<uint32_t> order;
  for (const auto& [folder, digests] : written) {
    if (!ReadFolderOrder(ndb, folder, &order, &error)) {
      for (size_t i = 0; i < digests.size(); ++i) {
        report.mismatches.push_back({folder, i, "cannot be read: " + error});
      }
      continue;
    }
    for (size_t i = 0; i < digests.size() || i < order.size(); ++i) {
      if (i >= order.size()) {
        report.mismatches.push_back({folder, i, "missing from the folder"});
        continue;
      }
      if (i >= digests.size()) {
        report.mismatches.push_back({folder, i, "not written by this run"});
        continue;
      }
      check::Subnode node;
      MessageDigest got;
      if (!ndb.FindNode(order[i], &node)) {
        report.mismatches.push_back({folder, i, "cannot be read: its node is missing"});
        continue;
      }
      if (!reader.Read(node, &got, &error)) {
        report.mismatches.push_back({folder, i, "cannot be read: " + error});
        continue;
      }
      std::string what = FirstDifference(digests[i], got);
      if (what.empty()) {
        ++report.verified;
      } else {
        report.mismatches.push_back({folder, i, what});
      }
    }
  }
  return report;
}

}  // namespace pst::readback
