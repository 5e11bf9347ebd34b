// WrittenDigests: what a session handed the writer for each message of one
// .pst — a digest of hashes (platform/pst/readback/digest.h) and the source
// message it came from — kept in the order of each folder, so that the
// finished file can be read back and every message compared. About 150
// bytes per message; the source folder files are kept once each.
//
//   WrittenDigests digests;
//   digests.Add(folder, content, "Inbox.dbx", 3);   // as each message is saved
//   ... close and rename the .pst ...
//   PstVerification v = digests.Verify("/out/Inbox.pst");
#ifndef TOLLAN_CONVERTER_ENGINE_WRITTEN_DIGESTS_H_
#define TOLLAN_CONVERTER_ENGINE_WRITTEN_DIGESTS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "converter/engine/pst_session.h"
#include "platform/pst/message.h"
#include "platform/pst/readback/digest.h"

namespace tollan {

class WrittenDigests {
 public:
  // Records `content`, about to be saved as the next message of `folder`
  // (the folder's node id), from message `number` of `folder_file`.
  void Add(uint32_t folder, const pst::MessageContent& content, const std::string& folder_file,
           int64_t number);

  // The structural check of the completed file at `path`, then, when it is
  // sound, every recorded message read back and compared.
  PstVerification Verify(const std::string& path) const;

 private:
  struct Source {
    uint32_t file = 0;   // index into files_
    int64_t number = 0;
  };
  std::map<uint32_t, std::vector<pst::readback::MessageDigest>> digests_;
  std::map<uint32_t, std::vector<Source>> sources_;
  std::vector<std::string> files_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_WRITTEN_DIGESTS_H_
