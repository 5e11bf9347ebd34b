// tollan-import-worker: the mail import of the converters, in a process of
// its own. It reads request frames on its standard input, imports each
// message and writes the answer frame on its standard output
// (import_wire.h), one message after another, until its input ends. Before
// anything else it writes its greeting (kImportWorkerGreeting). The
// converter starts it; it is not meant to be run by hand. What differs
// between systems is in worker_system.h.
//
// Requests are read in large pieces, several at a time when the converter
// sends several in one write. Each answer is written as soon as it is made:
// when the process dies inside a message, every message before it has its
// answer, so the converter knows which message it died on.
//
// usage: tollan-import-worker --parent PID [--codepage N] [--max-depth N]
//                             [--now FILETIME] [--no-guess-utf8]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "converter/engine/import_wire.h"
#include "converter/engine/import_workers.h"
#include "platform/mail/gmime_util.h"
#include "tools/tollan-import-worker/worker_system.h"

namespace {

constexpr size_t kReadChunk = 256 * 1024;

int Usage() {
  std::fprintf(stderr, "tollan-import-worker: started by the converter only\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  mail::ImportOptions options;
  long parent = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--parent" && has_value) {
      parent = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--codepage" && has_value) {
      options.default_code_page = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--max-depth" && has_value) {
      options.max_embedding_depth = std::atoi(argv[++i]);
    } else if (arg == "--now" && has_value) {
      options.now_filetime = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--no-guess-utf8") {
      options.guess_utf8 = false;
    } else {
      return Usage();
    }
  }
  if (parent <= 0 || !tollan::worker::Prepare(parent)) return Usage();

  // The converter takes this program for its worker only once it has said
  // so; the import library is set up first, so that the time a message may
  // take is not spent on it.
  mail::EnsureGMimeInitialized();
  if (!tollan::worker::WriteAll(tollan::kImportWorkerGreeting.data(), tollan::kImportWorkerGreeting.size())) {
    return 1;
  }

  std::string in;  // read, not yet taken; a whole frame starts at `used`
  size_t used = 0;
  std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  std::string answer;
  for (;;) {
    std::string_view rest(in.data() + used, in.size() - used);
    std::optional<size_t> length;
    pst::Status s = tollan::wire::ReadHeader(rest, tollan::wire::FrameKind::kRequest, (size_t{1} << 31) + 8, &length);
    if (!s.ok()) {
      std::fprintf(stderr, "tollan-import-worker: %s\n", s.ToString().c_str());
      return 1;
    }
    const size_t frame = length ? tollan::wire::kHeaderSize + *length : 0;
    if (!length || rest.size() < frame) {
      // More to read: what is taken goes, and a large frame is read
      // straight into its place.
      in.erase(0, used);
      used = 0;
      if (frame > in.size() + kReadChunk) {
        size_t have = in.size();
        in.resize(frame);
        while (have < frame) {
          const size_t k = tollan::worker::ReadSome(in.data() + have, frame - have);
          if (k == 0) return 1;
          have += k;
        }
        continue;
      }
      const size_t k = tollan::worker::ReadSome(chunk.get(), kReadChunk);
      if (k == 0) return in.empty() ? 0 : 1;
      in.append(chunk.get(), k);
      continue;
    }
    uint64_t ticket = 0;
    std::string_view message;
    s = tollan::wire::DecodeRequest(rest.substr(tollan::wire::kHeaderSize, *length), &ticket, &message);
    if (!s.ok()) return 1;
    // The text alone, shared with the answer: a large attachment stays a
    // window on it, sent as such, never decoded into memory here.
    auto text = std::make_shared<const std::string>(message);
    used += frame;
    // A big request's buffer is not kept for the next one.
    if (used == in.size() && in.capacity() > (4u << 20)) {
      std::string().swap(in);
      used = 0;
    }

    tollan::wire::ImportAnswer a = tollan::ImportOneMessage(ticket, text, options);
    answer.clear();
    s = tollan::wire::AppendAnswer(a, &answer, text.get());
    if (!s.ok()) {
      tollan::wire::ImportAnswer failed;
      failed.ticket = ticket;
      failed.status = s;
      answer.clear();
      s = tollan::wire::AppendAnswer(failed, &answer);
    }
    if (!s.ok() || !tollan::worker::WriteAll(answer.data(), answer.size())) return 1;
    // A big answer's buffer is not kept for the next one.
    if (answer.capacity() > (4u << 20)) std::string().swap(answer);
  }
}
