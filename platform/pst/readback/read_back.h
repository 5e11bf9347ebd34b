// ReadBack: proves a finished PST against what was written into it. Every
// message is read back from the file, folder by folder in the order of the
// folder's contents table, its digest computed from what the file holds and
// compared with the digest kept when the message was handed to the writer.
// Memory stays small whatever the file's size (node_reader.h); the time is
// about that of reading the messages' blocks once.
//
//   std::map<uint32_t, std::vector<MessageDigest>> written;   // by folder
//   written[inbox].push_back(DigestOf(content));
//   pst->AddMessage(inbox, content); ... pst->Close();
//   ReadBackReport r = ReadBack("out.pst", written);
//   // r.verified of r.total; r.mismatches name folder, position and value.
#ifndef TOLLAN_PLATFORM_PST_READBACK_READ_BACK_H_
#define TOLLAN_PLATFORM_PST_READBACK_READ_BACK_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/pst/readback/digest.h"

namespace pst::readback {

// One message that did not read back as written.
struct Mismatch {
  uint32_t folder = 0;    // the folder's node id
  size_t position = 0;    // the message's place in the folder, from 0
  // What differs: a value's name ("subject", "attachment 1 bytes"), or why
  // the message could not be compared ("missing from the folder", "cannot
  // be read: ...", "not written by this run").
  std::string what;
};

struct ReadBackReport {
  // Set when the file could not be read back at all.
  std::string error;
  uint64_t total = 0;      // messages written
  uint64_t verified = 0;   // read back equal to their digests
  std::vector<Mismatch> mismatches;

  bool ok() const { return error.empty() && mismatches.empty() && verified == total; }
};

// Reads every folder of `written` (folder node id -> the digests of its
// messages in the order they were added) back from the PST at `path`.
ReadBackReport ReadBack(const std::string& path,
                        const std::map<uint32_t, std::vector<MessageDigest>>& written);

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_READ_BACK_H_
