// Fuzz target: arbitrary bytes as a DBX folder file. Opens it, decodes every
// message record and reads every body chain (as the object model reads it and
// as a salvage reads it), once from memory and once from a file, and checks
// that both sources give the same result and that a salvage is never longer
// than the blocks it read can hold.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "reader/dbx/body_chain.h"
#include "reader/dbx/body_salvage.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_file.h"

namespace {

// A digest of everything read, to compare the two sources.
std::string ReadAll(dbx::ByteSource& source) {
  dbx::DbxFolderContents contents;
  dbx::DbxStatus s = dbx::ReadFolderFile(source, &contents);
  std::string digest = std::to_string(s.code()) + ":" + std::to_string(contents.messages.size());
  for (const dbx::DbxMessage& m : contents.messages) {
    digest += "|" + m.subject + "/" + m.sender_addr + "/" + std::to_string(m.flags) + "/" +
              std::to_string(m.date_received) + "/" + std::to_string(m.body_position);
    dbx::DbxBody body;
    dbx::DbxStatus b = dbx::ReadBodyChain(source, m.body_position, &body);
    digest += "/" + std::to_string(b.code()) + "/" + std::to_string(body.JoinedSize()) + "/" +
              std::to_string(body.chain_cut);
    dbx::DbxSalvagedBody salvaged;
    b = dbx::SalvageBodyText(source, m.body_position, &salvaged);
    if (salvaged.text.size() > uint64_t{salvaged.blocks} * 512) std::abort();
    digest += "/" + std::to_string(b.code()) + "/" + std::to_string(salvaged.text.size()) + "/" + salvaged.damage;
  }
  return digest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dbx::MemorySource memory(data, size);
  const std::string from_memory = ReadAll(memory);

  static int fd = ::memfd_create("fuzz_dbx_folder", 0);
  if (fd < 0) return 0;
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    return 0;
  }
  std::unique_ptr<dbx::FileSource> file;
  if (!dbx::FileSource::Open("/proc/self/fd/" + std::to_string(fd), false, &file).ok()) return 0;
  if (ReadAll(*file) != from_memory) std::abort();
  return 0;
}
