// Streaming folder-file writer; see folder_file.h.
#include "tests/support/dbxgen/folder_file.h"

#include <algorithm>

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/header.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

namespace {

void PutText(std::string& out, std::size_t at, const std::string& text) {
  std::size_t n = std::min(text.size(), kTextFieldLength - 1);
  std::copy_n(text.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::string FolderFileHead(const FolderFileOptions& options) {
  std::string head = FileHeader(kFolderFileKind, kFolderInfoLength, options.damage);
  head.resize(kHeaderSize + kFolderInfoLength, '\0');
  PutU32(head, kHeaderSize, 1);
  head[kInfoSourceType] = static_cast<char>(options.source_type);
  PutText(head, kInfoSourceText, options.source_text);
  PutText(head, kInfoInternalName, options.internal_name);
  PutU32(head, 0x26C4, 1);
  PutU32(head, 0x26CC, 3);
  head[0x26D0] = 1;
  PutU32(head, kInfoSessionNumber, static_cast<uint32_t>(options.session_number));
  return head;
}

Result<std::unique_ptr<FolderFileWriter>> FolderFileWriter::Create(
    const std::filesystem::path& path, const FolderFileOptions& options) {
  auto sink = FileSink::Create(path);
  if (!sink.ok()) return sink.status();
  std::unique_ptr<FolderFileWriter> writer(
      new FolderFileWriter(std::move(sink.value()), options));
  writer->sink_->Append(FolderFileHead(options));
  return writer;
}

FolderFileWriter::FolderFileWriter(std::unique_ptr<FileSink> sink,
                                   const FolderFileOptions& options)
    : sink_(std::move(sink)), options_(options) {
  report_.path = sink_->path();
}

uint32_t FolderFileWriter::WriteBody(const Message& message) {
  std::vector<uint32_t> lengths = message.segment_lengths;
  if (lengths.empty()) {
    for (std::size_t left = message.text.size(); left > 0;) {
      std::size_t n = std::min(left, kBlockTextSize);
      lengths.push_back(static_cast<uint32_t>(n));
      left -= n;
    }
  }
  if (lengths.empty()) return 0;
  const uint32_t first = static_cast<uint32_t>(sink_->position());
  std::string block(kBlockSize, '\0');
  std::size_t taken = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const uint32_t at = first + static_cast<uint32_t>(i * kBlockSize);
    const bool last = i + 1 == lengths.size();
    uint32_t next = last ? 0 : at + static_cast<uint32_t>(kBlockSize);
    if (last && message.damage.cyclic_body_chain) next = first;
    uint32_t used = lengths[i];
    std::fill(block.begin(), block.end(), '\0');
    std::copy_n(message.text.begin() + static_cast<std::ptrdiff_t>(taken), used,
                block.begin() + kBlockHeadSize);
    taken += used;
    if (last && message.damage.overlong_last_segment) used = 600;
    PutU32(block, 0x00, at);
    PutU32(block, 0x04, static_cast<uint32_t>(kBlockTextSize));
    PutU32(block, 0x08, used);
    PutU32(block, 0x0C, next);
    sink_->Append(block);
  }
  return first;
}

Status FolderFileWriter::Add(const Message& message) {
  if (!status_.ok()) return status_;
  const std::size_t position = report_.message_count;
  if (!message.segment_lengths.empty()) {
    uint64_t sum = 0;
    for (uint32_t n : message.segment_lengths) {
      if (n > kBlockTextSize) {
        return status_ = Status::Error("a body block holds at most 512 bytes, message " +
                                       std::to_string(position) + " asks for " +
                                       std::to_string(n));
      }
      sum += n;
    }
    if (sum != message.text.size()) {
      return status_ = Status::Error("segment lengths of message " + std::to_string(position) +
                                     " do not add up to its text length");
    }
  }
  uint64_t blocks = (message.text.size() + kBlockTextSize - 1) / kBlockTextSize +
                    message.segment_lengths.size();
  if (sink_->position() + blocks * kBlockSize + message.text.size() + (1 << 20) >
      kMaxFileOffset) {
    return status_ = Status::Error("folder file " + report_.path.string() +
                                   " would outgrow 2 GiB at message " + std::to_string(position));
  }

  const uint32_t body = WriteBody(message);
  const uint32_t indexed = static_cast<uint32_t>(sink_->position());
  MessageRecordPlan plan = PlanMessageRecord(message, position, body);
  plan.options.own_offset = indexed;
  auto record = BuildRecord(plan.fields, plan.options);
  if (!record.ok()) {
    return status_ = Status::Error("message " + std::to_string(position) + ": " +
                                   record.status().message());
  }
  std::string& bytes = record.value();
  if (message.damage.bad_own_offset) {
    uint32_t wrong = ~indexed;
    // The 2-byte shifted view must not match the indexed offset either.
    auto shifted = [&](uint32_t own) {
      return (own >> 16) | (static_cast<uint32_t>(GetU32(bytes, 4) & 0xFFFF) << 16);
    };
    if (shifted(wrong) == indexed) wrong ^= 0x10000;
    PutU32(bytes, 0, wrong);
  }
  if (message.shifted_record) {
    sink_->Append(std::string(2, '\0'));
    bytes.append(2, '\0');
  }
  if (message.damage.deleted) {
    sink_->AppendZeros(bytes.size());
    report_.deleted_bodies.push_back(body);
    return Status::Ok();
  }
  sink_->Append(bytes);

  report_.record_offsets.push_back(indexed);
  report_.body_offsets.push_back(body);
  ++report_.message_count;
  if (!message.flags || (*message.flags & kFlagRead) == 0) ++report_.unread_count;
  return Status::Ok();
}

Result<FolderFileReport> FolderFileWriter::Finish() {
  if (!status_.ok()) return status_;
  auto planned = IndexTree::Plan(report_.message_count, options_.tree);
  if (!planned.ok()) return planned.status();
  IndexTree& tree = planned.value();
  const uint64_t end = tree.AssignOffsets(sink_->position());
  if (end > kMaxFileOffset) {
    return Status::Error("folder file " + report_.path.string() + " would outgrow 2 GiB");
  }
  std::vector<std::string> nodes;
  nodes.reserve(tree.nodes().size());
  for (std::size_t i = 0; i < tree.nodes().size(); ++i) {
    nodes.push_back(tree.NodeBytes(i, report_.record_offsets));
  }
  Status damaged = DamageNodes(options_.damage, nodes);
  if (!damaged.ok()) return damaged;
  for (const std::string& node : nodes) sink_->Append(node);

  report_.root_offset = RootOffsetToWrite(options_.damage, tree.root_offset());
  PatchHeader(*sink_, report_.root_offset, static_cast<uint32_t>(report_.message_count),
              static_cast<uint32_t>(end));
  const std::optional<uint64_t> cut = CutLength(options_.damage, end);
  report_.file_size = cut.value_or(end);
  Status committed = sink_->Commit(cut);
  if (!committed.ok()) return committed;
  report_.walk_order = tree.WalkOrder(WalkKind::kFolderFile);
  report_.tree_depth = tree.depth();
  report_.node_count = tree.nodes().size();
  return std::move(report_);
}

}  // namespace dbxgen
