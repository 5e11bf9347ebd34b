// corpus_expectation: writes what tollan-cli must put into a .pst for one
// DBX folder file, as the expectation file of tests/oracles/pst_readers.py:
// every message the reader lists, in its order, imported as the converter
// imports it, marked read as the record says, dated by its Date field or
// else by the record's received date.
//
// usage: corpus_expectation OUT.json FOLDER_PATH FILE.dbx
//
// A message without a readable body cannot be converted; it is left out and
// named on standard output ("no body: message N"), for the caller to find
// in the converter's report.
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "platform/mail/import.h"
#include "reader/dbx/body_chain.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_file.h"
#include "tests/platform/pst/messaging/expectation.h"

namespace {

// An OLE date (days since 1899-12-30) as FILETIME ticks, to the second.
uint64_t FileTime(double ole_date) {
  const double unix_seconds = (ole_date - 25569.0) * 86400.0;
  return static_cast<uint64_t>(static_cast<int64_t>(unix_seconds + 0.5) + 11644473600ll) * 10000000ull;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "corpus_expectation: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corpus_expectation OUT.json FOLDER_PATH FILE.dbx\n");
    return 2;
  }
  std::unique_ptr<dbx::FileSource> source;
  if (!dbx::FileSource::Open(argv[3], false, &source).ok()) return Fail(std::string("cannot open ") + argv[3]);
  dbx::DbxFolderContents folder;
  if (!dbx::ReadFolderFile(*source, &folder).ok() && folder.messages.empty()) {
    return Fail(std::string("cannot read ") + argv[3]);
  }
  pst::testing::ExpectationWriter out(argv[1]);
  out.BeginFolder(argv[2]);
  for (size_t i = 0; i < folder.messages.size(); ++i) {
    const dbx::DbxMessage& m = folder.messages[i];
    dbx::DbxBodyText body;
    if (m.body_position == 0 || !dbx::ReadBodyText(*source, m.body_position, &body).ok() || body.text.empty()) {
      std::printf("no body: message %zu\n", i);
      continue;
    }
    pst::MessageContent content;
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(body.text.data()), body.text.size());
    pst::Status s = mail::ImportMessage(bytes, mail::ImportOptions(), &content, nullptr);
    if (!s.ok()) return Fail("message " + std::to_string(i) + ": " + s.ToString());
    const pst::Property* flags = content.Find(0x0E070003);
    const int64_t has_attach = flags ? std::get<int64_t>(flags->value) & 0x10 : 0;
    content.Set(pst::MakeInt32(0x0E07, static_cast<int32_t>((m.message_read() ? 0x01 : 0) | has_attach)));
    const pst::Property* sent = content.Find(0x00390040);
    const uint64_t date = sent ? std::get<uint64_t>(sent->value) : FileTime(m.date_received);
    content.Set(pst::MakeTime(0x0039, date));
    content.Set(pst::MakeTime(0x0E06, date));
    out.Message(content);
  }
  out.Close();
  return 0;
}
