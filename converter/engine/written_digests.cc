// Digests of the messages written, and the read-back that proves a file.
#include "converter/engine/written_digests.h"

#include "platform/pst/check/check.h"
#include "platform/pst/readback/read_back.h"

namespace tollan {

void WrittenDigests::Add(uint32_t folder, const pst::MessageContent& content,
                         const std::string& folder_file, int64_t number) {
  // Messages come file after file: the last file is nearly always the one.
  if (files_.empty() || files_.back() != folder_file) files_.push_back(folder_file);
  digests_[folder].push_back(pst::readback::DigestOf(content));
  sources_[folder].push_back({static_cast<uint32_t>(files_.size() - 1), number});
}

PstVerification WrittenDigests::Verify(const std::string& path) const {
  PstVerification v;
  v.path = path;
  for (const auto& [folder, list] : digests_) v.total += static_cast<int64_t>(list.size());
  pst::check::Report structure = pst::check::CheckFile(path);
  if (!structure.ok()) {
    if (!structure.fatal.empty()) v.structure.push_back(structure.fatal);
    for (const auto& p : structure.problems) v.structure.push_back(p.ToString());
    if (structure.dropped_problems > 0) {
      v.structure.push_back(std::to_string(structure.dropped_problems) + " more problems");
    }
    return v;
  }
  v.structure_summary = structure.Summary();
  pst::readback::ReadBackReport r = pst::readback::ReadBack(path, digests_);
  v.verified = static_cast<int64_t>(r.verified);
  if (!r.error.empty()) {
    v.structure.push_back(r.error);
    return v;
  }
  for (const pst::readback::Mismatch& m : r.mismatches) {
    PstVerification::Mismatch out;
    out.what = m.what;
    auto it = sources_.find(m.folder);
    if (it != sources_.end() && m.position < it->second.size()) {
      const Source& source = it->second[m.position];
      out.folder_file = files_[source.file];
      out.number = source.number;
    }
    v.mismatches.push_back(std::move(out));
  }
  return v;
}

}  // namespace tollan
