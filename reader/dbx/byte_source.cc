// Positioned reads with zero fill past the end, from memory or from a file.
#include "reader/dbx/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <share.h>
#include <windows.h>

#include "reader/dbx/windows_path.h"
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dbx {

DbxStatus ReadZeroTerminated(ByteSource& source, uint64_t offset, size_t window,
                             std::string* text, bool* terminated) {
  text->clear();
  *terminated = false;
  uint8_t scratch[512];
  size_t done = 0;
  while (done < window) {
    // Past the end every byte is zero: the text ends there.
    if (offset + done >= source.size()) {
      *terminated = true;
      return DbxStatus::Ok();
    }
    const size_t n = std::min(sizeof(scratch), window - done);
    const uint8_t* piece;
    DbxStatus s = source.View(offset + done, n, scratch, &piece);
    if (!s.ok()) return s;
    const void* zero = std::memchr(piece, 0, n);
    if (zero != nullptr) {
      text->append(reinterpret_cast<const char*>(piece), static_cast<const uint8_t*>(zero) - piece);
      *terminated = true;
      return DbxStatus::Ok();
    }
    text->append(reinterpret_cast<const char*>(piece), n);
    done += n;
  }
  return DbxStatus::Ok();
}

DbxStatus MemorySource::Read(uint64_t offset, size_t n, uint8_t* dst) {
  size_t have = 0;
  if (offset < size_) have = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  if (have > 0) std::memcpy(dst, data_ + offset, have);
  if (have < n) std::memset(dst + have, 0, n - have);
  return DbxStatus::Ok();
}

DbxStatus MemorySource::View(uint64_t offset, size_t n, uint8_t* scratch, const uint8_t** data) {
  if (offset <= size_ && n <= size_ - offset) {
    *data = data_ + offset;
    return DbxStatus::Ok();
  }
  *data = scratch;
  return Read(offset, n, scratch);
}

FileSource::FileSource(int fd, uint64_t size, std::string path)
    : fd_(fd), size_(size), path_(std::move(path)) {
  for (uint64_t& t : tags_) t = 0;
}

#if defined(_WIN32)
namespace {

// pread over the file's system handle: a positioned read that leaves the
// file position alone.
long long ReadAt(int fd, uint8_t* dst, size_t n, uint64_t offset) {
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
  if (!ReadFile(file, dst, want, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
  }
  return got;
}

}  // namespace

// The deny-read open is the sharing mode that keeps other openers from
// reading; a file another program holds that way cannot be opened at all.
DbxStatus FileSource::Open(const std::string& path, bool deny_read,
                           std::unique_ptr<FileSource>* result) {
  int fd = -1;
  const int err = _wsopen_s(&fd, WindowsPath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT,
                            deny_read ? _SH_DENYRD : _SH_DENYNO, _S_IREAD);
  if (err != 0) {
    std::string why = path + ": " + std::strerror(err);
    if (err == EACCES) return DbxStatus(kResultAccessDenied, why);
    if (err == ENOENT) return DbxStatus(kErrorFileNotFound, why);
    return DbxStatus(kErrorPathFileAccess, why);
  }
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    _close(fd);
    return DbxStatus(kErrorPathFileAccess, path + ": not a regular file");
  }
  result->reset(new FileSource(fd, static_cast<uint64_t>(st.st_size), path));
  return DbxStatus::Ok();
}

FileSource::~FileSource() { _close(fd_); }
#else
namespace {

long long ReadAt(int fd, uint8_t* dst, size_t n, uint64_t offset) {
  return ::pread(fd, dst, n, static_cast<off_t>(offset));
}

}  // namespace

FileSource::~FileSource() { ::close(fd_); }

DbxStatus FileSource::Open(const std::string& path, bool deny_read,
                           std::unique_ptr<FileSource>* result) {
  // Without O_NONBLOCK a named pipe would block the open until a writer
  // comes; only regular files are read (checked below).
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    std::string why = path + ": " + std::strerror(err);
    if (err == EACCES || err == EPERM) return DbxStatus(kResultAccessDenied, why);
    if (err == ENOENT) return DbxStatus(kErrorFileNotFound, why);
    return DbxStatus(kErrorPathFileAccess, why);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    const char* kind = S_ISFIFO(st.st_mode)  ? "a named pipe (FIFO)"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISDIR(st.st_mode)  ? "a folder"
                                              : "not a file";
    return DbxStatus(kErrorPathFileAccess,
                     path + ": " + kind + ", not a regular file; only regular files are read");
  }
  // Reads are plain blocking reads.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (::flock(fd, (deny_read ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int err = errno;
    // File systems without lock support are read without a lock.
    if (err != ENOLCK && err != EINVAL && err != EOPNOTSUPP) {
      ::close(fd);
      if (err == EWOULDBLOCK) {
        return DbxStatus(kResultAccessDenied, path + ": locked by another reader");
      }
      return DbxStatus(kErrorPathFileAccess, path + ": " + std::strerror(err));
    }
  }
  result->reset(new FileSource(fd, static_cast<uint64_t>(st.st_size), path));
  return DbxStatus::Ok();
}
#endif  // _WIN32

// Reads [offset, offset + n) of the file into dst, up to its end; returns
// the number of bytes read in *got.
static DbxStatus PreadFull(int fd, const std::string& path, uint64_t offset, size_t n,
                           uint8_t* dst, size_t* got) {
  *got = 0;
  while (*got < n) {
    const long long r = ReadAt(fd, dst + *got, n - *got, offset + *got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return DbxStatus(kErrorDeviceIo, path + ": read at offset " + std::to_string(offset + *got) +
                                           ": " + std::strerror(errno));
    }
    if (r == 0) break;  // the file shrank since it was opened
    *got += static_cast<size_t>(r);
  }
  return DbxStatus::Ok();
}

DbxStatus FileSource::ReadOnce(uint64_t offset, size_t n, uint8_t* dst) {
  size_t want = offset < size_ ? static_cast<size_t>(std::min<uint64_t>(n, size_ - offset)) : 0;
  size_t got = 0;
  DbxStatus s = PreadFull(fd_, path_, offset, want, dst, &got);
  if (!s.ok()) return s;
  std::memset(dst + got, 0, n - got);
  return DbxStatus::Ok();
}

DbxStatus FileSource::Chunk(uint64_t chunk, const uint8_t** data) {
  size_t slot = chunk % kSlots;
  if (!slots_[slot]) slots_[slot] = std::make_unique_for_overwrite<uint8_t[]>(kChunkSize);
  uint8_t* dst = slots_[slot].get();
  *data = dst;
  if (tags_[slot] == chunk + 1) return DbxStatus::Ok();
  tags_[slot] = 0;
  uint64_t start = chunk << kChunkBits;
  size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size_ - start));
  size_t got = 0;
  DbxStatus s = PreadFull(fd_, path_, start, want, dst, &got);
  if (!s.ok()) return s;
  std::memset(dst + got, 0, kChunkSize - got);  // zeros past the end
  tags_[slot] = chunk + 1;
  return DbxStatus::Ok();
}

DbxStatus FileSource::Read(uint64_t offset, size_t n, uint8_t* dst) {
  while (n > 0) {
    if (offset >= size_) {
      std::memset(dst, 0, n);
      return DbxStatus::Ok();
    }
    const uint8_t* chunk;
    DbxStatus s = Chunk(offset >> kChunkBits, &chunk);
    if (!s.ok()) return s;
    size_t within = static_cast<size_t>(offset & (kChunkSize - 1));
    size_t take = std::min(n, kChunkSize - within);
    std::memcpy(dst, chunk + within, take);
    dst += take;
    offset += take;
    n -= take;
  }
  return DbxStatus::Ok();
}

DbxStatus FileSource::View(uint64_t offset, size_t n, uint8_t* scratch, const uint8_t** data) {
  const size_t within = static_cast<size_t>(offset & (kChunkSize - 1));
  // Inside one cached chunk (whose bytes past the end of the file are zero).
  if (offset < size_ && n <= kChunkSize - within) {
    const uint8_t* chunk;
    DbxStatus s = Chunk(offset >> kChunkBits, &chunk);
    *data = chunk + within;
    return s;
  }
  *data = scratch;
  return Read(offset, n, scratch);
}

}  // namespace dbx
