// Construction of the node database writer over any OutputFile, for tests
// that inject I/O failures and for tuning the write buffer.
#ifndef TOLLAN_PLATFORM_PST_NDB_WRITER_INTERNAL_H_
#define TOLLAN_PLATFORM_PST_NDB_WRITER_INTERNAL_H_

#include <cstddef>
#include <memory>

#include "platform/pst/ndb/file.h"
#include "platform/pst/ndb/ndb_writer.h"

namespace pst::ndb {

struct WriterOptions {
  size_t buffer_size = 1 << 20;  // bytes gathered before one write call
  bool sync = true;              // fsync before and after the header goes in
};

Status CreateWriter(std::unique_ptr<OutputFile> file, const WriterOptions& options,
                    std::unique_ptr<NdbWriter>* out);

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_WRITER_INTERNAL_H_
