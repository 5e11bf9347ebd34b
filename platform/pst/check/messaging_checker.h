// MessagingChecker: checks the messaging layer on top of a checked node
// database — the mandatory nodes, the message store and name-to-id map, and
// every folder with its hierarchy, contents and associated-contents tables
// against the folders and messages they list ([MS-PST] 2.4), including the
// cross-checks Outlook's repair tool makes (table rows against the objects'
// own properties, subfolder flag and counts).
#ifndef TOLLAN_PLATFORM_PST_CHECK_MESSAGING_CHECKER_H_
#define TOLLAN_PLATFORM_PST_CHECK_MESSAGING_CHECKER_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/pst/check/ltp.h"
#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/report.h"

namespace pst::check {

class MessagingChecker {
 public:
  MessagingChecker(const NdbChecker& ndb, Report* report) : ndb_(ndb), report_(report) {}

  void CheckAll();
  // Fills report->tree with an outline of folders and messages.
  void BuildTree();

 private:
  void CheckMandatoryNodes();
  void CheckStore();
  void CheckNameToIdMap();
  void CheckFolder(const NodeEntry& folder);
  void CheckSearchFolder(const NodeEntry& folder);
  // Checks a message and returns its properties (empty if unreadable).
  PropMap CheckMessage(const NodeEntry& message);
  void CheckAttachments(const NodeEntry& message, const Heap& heap);
  // Compares the cells of a table row with the properties of the object the
  // row stands for; `table` names the table for the report.
  void CompareRow(uint64_t offset, const std::string& table, const Row& row, const PropMap& props);

  bool LoadPc(const NodeEntry& node, const std::string& what, PropMap* props);
  bool LoadTc(uint64_t nid, const std::string& what, Table* table);
  uint64_t OffsetOf(const NodeEntry& node) const;
  std::string NameOf(uint64_t nid) const;
  void AddTreeLines(uint64_t nid, int depth, std::set<uint64_t>* seen);

  const NdbChecker& ndb_;
  Report* report_;
  std::map<uint64_t, PropMap> folder_props_;            // folders whose PC was read
  std::map<uint64_t, std::vector<uint64_t>> children_;   // parent nid -> child nids
};

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_MESSAGING_CHECKER_H_
