// ExpectationWriter: writes what a test handed to the PST writer as the
// expectation file of tests/oracles/pst_readers.py (see there for the form),
// folder by folder and message by message, so a test of any size can say
// what every outside reader must show.
//
//   ExpectationWriter w(dir + "/expected.json");
//   w.BeginFolder("Inbox");
//   w.Message(content);   // for each message, in the order added to the folder
//   w.Close();
#ifndef TOLLAN_TESTS_PLATFORM_PST_MESSAGING_EXPECTATION_H_
#define TOLLAN_TESTS_PLATFORM_PST_MESSAGING_EXPECTATION_H_

#include <fstream>
#include <string>

#include "platform/pst/message.h"

namespace pst::testing {

class ExpectationWriter {
 public:
  explicit ExpectationWriter(const std::string& path);
  // `path`: the folder's names below the store's top folder, joined by "/".
  void BeginFolder(const std::string& path);
  void Message(const MessageContent& m);
  void Close();

 private:
  std::ofstream out_;
  bool in_folder_ = false;
  bool first_folder_ = true;
  bool first_message_ = true;
};

// The 64-bit FNV-1a of `data` as 16 hex digits, as the expectation gives
// attachment bytes over 64 bytes.
std::string Fnv1a64(const std::vector<uint8_t>& data);

}  // namespace pst::testing

#endif  // TOLLAN_TESTS_PLATFORM_PST_MESSAGING_EXPECTATION_H_
