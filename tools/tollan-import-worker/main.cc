// tollan-import-worker: the mail import of the converters, in a process of
// its own. It reads request frames on descriptor 0, imports each message and
// writes the answer frame on descriptor 1 (import_wire.h), one message after
// another, until descriptor 0 closes. Before anything else it writes its
// greeting (kImportWorkerGreeting) on descriptor 1. The converter starts it; it is not
// meant to be run by hand.
//
// usage: tollan-import-worker --parent PID [--codepage N] [--max-depth N]
//                             [--now FILETIME] [--no-guess-utf8]
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "converter/engine/import_wire.h"
#include "converter/engine/import_workers.h"
#include "platform/mail/gmime_util.h"

namespace {

// Reads exactly n bytes; false at the end of input or on an error.
bool ReadFull(int fd, char* p, size_t n) {
  while (n > 0) {
    const ssize_t k = ::read(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool WriteFull(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t k = ::write(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

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
  if (parent <= 0 || ::isatty(0)) return Usage();
  // Ends with the converter, even when it is killed; if it is already gone,
  // there is nobody to answer.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != static_cast<pid_t>(parent)) return 0;
  // Terminal signals are the converter's to handle: it closes the .pst and
  // then closes this worker's input.
  ::signal(SIGINT, SIG_IGN);
  ::signal(SIGQUIT, SIG_IGN);
  ::signal(SIGHUP, SIG_IGN);

  // The converter takes this program for its worker only once it has said
  // so; the import library is set up first, so that the time a message may
  // take is not spent on it.
  mail::EnsureGMimeInitialized();
  if (!WriteFull(1, tollan::kImportWorkerGreeting.data(), tollan::kImportWorkerGreeting.size())) return 1;

  std::string request;
  std::string answer;
  for (;;) {
    char header[tollan::wire::kHeaderSize];
    if (!ReadFull(0, header, sizeof header)) return 0;
    std::optional<size_t> length;
    pst::Status s = tollan::wire::ReadHeader(std::string_view(header, sizeof header),
                                             tollan::wire::FrameKind::kRequest, (size_t{1} << 31) + 8, &length);
    if (!s.ok() || !length) {
      std::fprintf(stderr, "tollan-import-worker: %s\n", s.ToString().c_str());
      return 1;
    }
    request.resize(*length);
    if (!ReadFull(0, request.data(), request.size())) return 1;
    uint64_t ticket = 0;
    std::string_view message;
    s = tollan::wire::DecodeRequest(request, &ticket, &message);
    if (!s.ok()) return 1;
    // The text alone, shared with the answer: a large attachment stays a
    // window on it, sent as such, never decoded into memory here.
    request.erase(0, static_cast<size_t>(message.data() - request.data()));
    auto text = std::make_shared<const std::string>(std::move(request));
    request = std::string();

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
    if (!s.ok() || !WriteFull(1, answer.data(), answer.size())) return 1;
    // A big answer's buffer is not kept for the next one.
    if (answer.capacity() > (4u << 20)) std::string().swap(answer);
  }
}
