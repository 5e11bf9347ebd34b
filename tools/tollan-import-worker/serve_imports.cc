// The import worker's loop: requests read in large pieces, answers written
// together.
#include "tools/tollan-import-worker/serve_imports.h"

#include <cstdio>
#include <string_view>

#include "converter/engine/temp_file.h"
#include "tools/tollan-import-worker/worker_system.h"

namespace tollan::worker {

namespace {

constexpr size_t kReadChunk = 256 * 1024;
// Answers held back beyond this go out before the next import.
constexpr size_t kAnswerFlush = 4u << 20;
// A buffer grown past this for one large message is not kept for the next.
constexpr size_t kKeepCapacity = 4u << 20;

// Writes the answers held and empties the buffer; false when the converter
// is gone.
bool WriteAnswers(std::string* answers) {
  if (answers->empty()) return true;
  if (!WriteAll(answers->data(), answers->size())) return false;
  answers->clear();
  if (answers->capacity() > kKeepCapacity) std::string().swap(*answers);
  return true;
}

}  // namespace

int ServeImports(const ImportFunction& import) {
  std::string in;  // read, not yet taken; a whole frame starts at `used`
  size_t used = 0;
  std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  std::string answers;  // made, not yet written
  for (;;) {
    std::string_view rest(in.data() + used, in.size() - used);
    std::optional<size_t> length;
    pst::Status s = wire::ReadHeader(rest, wire::FrameKind::kRequest, (size_t{1} << 31) + 8, &length);
    if (!s.ok()) {
      std::fprintf(stderr, "tollan-import-worker: %s\n", s.ToString().c_str());
      return 1;
    }
    const size_t frame = length ? wire::kHeaderSize + *length : 0;
    if (!length || rest.size() < frame) {
      // Nothing whole is left to import: the answers made go out before
      // this process waits for more.
      if (!WriteAnswers(&answers)) return 1;
      // What is taken goes, and a large frame is read straight into its
      // place.
      in.erase(0, used);
      used = 0;
      if (frame > in.size() + kReadChunk) {
        size_t have = in.size();
        in.resize(frame);
        while (have < frame) {
          const size_t k = ReadSome(in.data() + have, frame - have);
          if (k == 0) return 1;
          have += k;
        }
        continue;
      }
      const size_t k = ReadSome(chunk.get(), kReadChunk);
      if (k == 0) return in.empty() ? 0 : 1;
      in.append(chunk.get(), k);
      continue;
    }
    uint64_t ticket = 0;
    std::string_view message, temp_path;
    s = wire::DecodeRequest(rest.substr(wire::kHeaderSize, *length), &ticket, &temp_path, &message);
    if (!s.ok()) return 1;
    auto text = std::make_shared<const std::string>(message);
    const std::string wanted(temp_path);
    used += frame;
    if (used == in.size() && in.capacity() > kKeepCapacity) {
      std::string().swap(in);
      used = 0;
    }

    // The message's temporary file is written before its import and removed
    // after it; one that cannot be written fails the message.
    TempEmlFile file;
    wire::ImportAnswer a;
    pst::Status written = wanted.empty() ? pst::Status::Ok() : file.Create(wanted, *text);
    if (written.ok()) {
      a = import(ticket, text);
    } else {
      a.ticket = ticket;
      a.status = written;
    }
    file.Remove();
    s = wire::AppendAnswer(a, &answers, text.get());
    if (!s.ok()) {
      // Content the answer cannot carry: the message fails, saying why.
      wire::ImportAnswer failed;
      failed.ticket = ticket;
      failed.status = s;
      s = wire::AppendAnswer(failed, &answers);
    }
    if (!s.ok()) return 1;
    if (answers.size() > kAnswerFlush && !WriteAnswers(&answers)) return 1;
  }
}

}  // namespace tollan::worker
