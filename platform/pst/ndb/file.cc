// The OutputFile over a system file, and the WriteBuffer (see file.h).
#include "platform/pst/ndb/file.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <cstring>

#include "platform/os/file.h"

namespace pst::ndb {
namespace {

std::string ErrnoText(int err) { return std::string(strerror(err)); }

class SystemOutputFile : public OutputFile {
 public:
  SystemOutputFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~SystemOutputFile() override {
    if (fd_ >= 0) os::Close(fd_);
  }

  Status WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
      long long n = os::WriteAt(fd_, p, left, offset);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Status::IoError("cannot write " + path_ + " at offset " + std::to_string(offset) +
                               ": " + ErrnoText(errno));
      }
      p += n;
      left -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
    return Status::Ok();
  }

  Status Truncate(uint64_t size) override {
    if (os::Truncate(fd_, size) != 0) {
      return Status::IoError("cannot set the size of " + path_ + " to " + std::to_string(size) +
                             ": " + ErrnoText(errno));
    }
    return Status::Ok();
  }

  Status Sync() override {
    if (os::Sync(fd_) != 0) {
      return Status::IoError("cannot flush " + path_ + " to disk: " + ErrnoText(errno));
    }
    return Status::Ok();
  }

  // Closed first: Windows deletes no file that is open.
  void Remove() override {
    if (fd_ >= 0) os::Close(fd_);
    fd_ = -1;
    os::Remove(path_);
  }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

Status OpenOutputFile(const std::string& path, std::unique_ptr<OutputFile>* out) {
  int fd = os::CreateOrTruncate(path, 0644);
  if (fd < 0) return Status::IoError("cannot create " + path + ": " + ErrnoText(errno));
  *out = std::make_unique<SystemOutputFile>(path, fd);
  return Status::Ok();
}

WriteBuffer::WriteBuffer(OutputFile* file, size_t capacity) : file_(file), capacity_(capacity) {}

Status WriteBuffer::Reserve(uint64_t offset, size_t n, uint8_t** dst) {
  uint64_t end = start_ + size_;
  if (size_ == 0) {
    start_ = offset;
  } else if (offset < end) {
    return Status::InvalidArgument("buffered write goes backwards (offset " +
                                   std::to_string(offset) + ", buffered up to " +
                                   std::to_string(end) + ")");
  } else if (offset - end > 64 * 1024) {
    Status s = Flush();
    if (!s.ok()) return s;
    start_ = offset;
  }
  const size_t at = static_cast<size_t>(offset - start_);
  if (at + n > allocated_) {
    size_t grown = std::max(at + n, std::max(capacity_ + 64 * 1024, allocated_ * 2));
    auto bigger = std::make_unique_for_overwrite<uint8_t[]>(grown);
    if (size_ > 0) std::memcpy(bigger.get(), buf_.get(), size_);
    buf_ = std::move(bigger);
    allocated_ = grown;
  }
  if (at > size_) std::memset(buf_.get() + size_, 0, at - size_);  // the gap
  size_ = at + n;
  *dst = buf_.get() + at;
  return Status::Ok();
}

Status WriteBuffer::MaybeFlush() {
  if (size_ >= capacity_) return Flush();
  return Status::Ok();
}

Status WriteBuffer::WriteBehind(uint64_t offset, std::span<const uint8_t> bytes) {
  if (size_ > 0 && offset + bytes.size() > start_) {
    if (offset >= start_ && offset + bytes.size() <= start_ + size_) {
      std::memcpy(buf_.get() + (offset - start_), bytes.data(), bytes.size());
      return Status::Ok();
    }
    Status s = Flush();
    if (!s.ok()) return s;
  }
  return file_->WriteAt(offset, bytes);
}

Status WriteBuffer::Write(uint64_t offset, std::span<const uint8_t> bytes) {
  uint8_t* dst = nullptr;
  Status s = Reserve(offset, bytes.size(), &dst);
  if (!s.ok()) return s;
  if (!bytes.empty()) std::memcpy(dst, bytes.data(), bytes.size());
  return MaybeFlush();
}

Status WriteBuffer::Flush() {
  if (size_ == 0) return Status::Ok();
  Status s = file_->WriteAt(start_, std::span<const uint8_t>(buf_.get(), size_));
  if (!s.ok()) return s;
  start_ += size_;
  size_ = 0;
  return Status::Ok();
}

}  // namespace pst::ndb
