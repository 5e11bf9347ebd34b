// Import cost of real message files: reads every .eml file below a folder
// (such as `kestrel export` writes) into memory, then times, on one thread,
// GMime parsing and freeing each message alone, and the whole import of each
// message. Prints microseconds per message for both, wall and processor time
// (on a busy machine the latter is the one to compare), so a conversion's
// time can be set against the part of it the MIME library takes.
//
// usage: eml_dir_bench FOLDER
#include <gmime/gmime.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "platform/mail/gmime_util.h"
#include "platform/mail/import.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of this thread.
double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: eml_dir_bench FOLDER\n");
    return 2;
  }
  std::vector<std::string> messages;
  size_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file() || entry.path().extension() != ".eml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    messages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    bytes += messages.back().size();
  }
  if (messages.empty()) {
    std::fprintf(stderr, "no .eml files below %s\n", argv[1]);
    return 1;
  }
  mail::EnsureGMimeInitialized();

  auto start = std::chrono::steady_clock::now();
  double cpu_start = CpuSeconds();
  for (const std::string& m : messages) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(m.data(), m.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    if (msg != nullptr) g_object_unref(msg);
    g_object_unref(parser);
    g_object_unref(stream);
  }
  const double parse = SecondsSince(start);
  const double parse_cpu = CpuSeconds() - cpu_start;

  mail::ImportOptions opts;
  opts.now_filetime = 1;  // fixed, so no clock is read per message
  start = std::chrono::steady_clock::now();
  cpu_start = CpuSeconds();
  for (const std::string& m : messages) {
    pst::MessageContent content;
    std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(m.data()), m.size());
    mail::ImportMessage(span, opts, &content, nullptr);
  }
  const double import = SecondsSince(start);
  const double import_cpu = CpuSeconds() - cpu_start;

  const double n = static_cast<double>(messages.size());
  std::printf("%zu messages, %.1f MB: GMime parse and free %.1f us/message (%.2f s; cpu %.1f us/message), "
              "whole import %.1f us/message (%.2f s; cpu %.1f us/message)\n",
              messages.size(), bytes / 1e6, parse / n * 1e6, parse, parse_cpu / n * 1e6, import / n * 1e6, import,
              import_cpu / n * 1e6);
  return 0;
}
