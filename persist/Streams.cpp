#include "corvid/persist/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace corvid {

void RaiseReadError() {
  throw EReadError("Stream read error");
}
void RaiseWriteError() {
  throw EWriteError("Stream write error");
}

// --- TStream -----------------------------------------------------------------

std::int64_t TStream::GetSize() {
  const std::int64_t pos = Seek(0, soCurrent);
  const std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count > 0 && Read(Buffer, Count) != Count) RaiseReadError();
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count > 0 && Write(Buffer, Count) != Count) RaiseWriteError();
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  const std::int64_t total = Count;
  char chunk[16384];
  while (Count > 0) {
    const std::int64_t n = std::min<std::int64_t>(Count, sizeof chunk);
    Source.ReadBuffer(chunk, n);
    WriteBuffer(chunk, n);
    Count -= n;
  }
  return total;
}

// --- TMemoryStream -----------------------------------------------------------

TMemoryStream::~TMemoryStream() {
  std::free(data_);
}

void TMemoryStream::Reserve(std::int64_t NewCapacity) {
  if (NewCapacity <= capacity_) return;
  // Grow geometrically so that a stream written piece by piece costs
  // amortised constant time per byte.
  std::int64_t cap = std::max<std::int64_t>(capacity_ + capacity_ / 2, 256);
  cap = std::max(cap, NewCapacity);
  void* p = std::realloc(data_, static_cast<std::size_t>(cap));
  if (p == nullptr) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  capacity_ = cap;
}

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0 || position_ >= size_) return 0;
  const std::int64_t n = std::min(Count, size_ - position_);
  std::memcpy(Buffer, data_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  const std::int64_t end = position_ + Count;
  if (end > capacity_) Reserve(end);
  if (position_ > size_) std::memset(data_ + size_, 0, static_cast<std::size_t>(position_ - size_));
  std::memcpy(data_ + position_, Buffer, static_cast<std::size_t>(Count));
  position_ = end;
  if (end > size_) size_ = end;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t base = 0;
  switch (Origin) {
    case soBeginning:
      base = 0;
      break;
    case soCurrent:
      base = position_;
      break;
    case soEnd:
      base = size_;
      break;
  }
  if (Offset < -base) RaiseReadError();
  if (Offset > std::numeric_limits<std::int64_t>::max() - base) RaiseReadError();
  position_ = base + Offset;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) RaiseWriteError();
  if (NewSize > capacity_) {
    // An exact allocation: SetSize announces the final size.
    void* p = std::realloc(data_, static_cast<std::size_t>(NewSize));
    if (p == nullptr) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(p);
    capacity_ = NewSize;
  }
  if (NewSize > size_) std::memset(data_ + size_, 0, static_cast<std::size_t>(NewSize - size_));
  size_ = NewSize;
}

void TMemoryStream::Assign(const void* Data, std::int64_t Count) {
  size_ = position_ = 0;
  if (Count <= 0) return;
  if (Count > capacity_) Reserve(Count);
  std::memcpy(data_, Data, static_cast<std::size_t>(Count));
  size_ = Count;
}

void TMemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  const std::int64_t n = Stream.GetSize();
  SetSize(n);
  position_ = 0;
  Stream.ReadBuffer(data_, n);
}

void TMemoryStream::SaveToStream(TStream& Stream) const {
  Stream.WriteBuffer(data_, size_);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  ReplaceFile(FileName, [this](TStream& File) { SaveToStream(File); });
}

// --- TFileStream -------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode) : fileName_(FileName) {
  if (Mode == fmCreate) {
    fd_ = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    }
    return;
  }
  int flags = O_RDONLY;
  switch (Mode & 0x3) {
    case fmOpenWrite:
      flags = O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags = O_RDWR;
      break;
    default:
      break;
  }
  fd_ = ::open(FileName.c_str(), flags | O_CLOEXEC);
  if (fd_ >= 0) {
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      errno = EISDIR;
    }
  }
  if (fd_ < 0) {
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  auto* p = static_cast<char*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::read(fd_, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  const auto* p = static_cast<const char*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence = SEEK_SET;
  if (Origin == soCurrent) whence = SEEK_CUR;
  if (Origin == soEnd) whence = SEEK_END;
  const off_t r = ::lseek(fd_, static_cast<off_t>(Offset), whence);
  if (r < 0) RaiseReadError();
  return r;
}

std::int64_t TFileStream::GetSize() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) RaiseReadError();
  return st.st_size;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0 || ::ftruncate(fd_, static_cast<off_t>(NewSize)) != 0) RaiseWriteError();
}

// --- ReplaceFile ---------------------------------------------------------------

namespace {

[[noreturn]] void RaiseCreateError(const std::string& FileName) {
  const int err = errno;
  throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(err));
}

// Creates a new file beside Target under a name no other file has; the
// process's umask applies to its permissions as to any new file.
int CreateTemporaryBeside(const std::string& Target, std::string& TempName) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = Target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : Target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    TempName = folder + "." + base + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter.fetch_add(1)) + "." +
               std::to_string(static_cast<unsigned long long>(tick) % 1000000) + ".tmp";
    const int fd = ::open(TempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

TReplaceFileFilter& ReplaceFileFilter() {
  static TReplaceFileFilter filter;
  return filter;
}

// Makes a completed rename durable; a failure here does not undo it, so it
// is not reported.
void SyncFolderOf(const std::string& Target) {
  const std::size_t slash = Target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : Target.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void ReplaceFile(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  struct stat existing;
  const bool exists = ::stat(FileName.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    TFileStream file(FileName, fmCreate);
    Write(file);
    return;
  }
  // Through a symbolic link: the file it names is the one replaced.
  std::string target = FileName;
  struct stat link;
  if (exists && ::lstat(FileName.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(FileName.c_str(), nullptr),
                                                     &std::free);
    if (real) target = real.get();
  }

  std::string temp;
  const int fd = CreateTemporaryBeside(target, temp);
  if (fd < 0) RaiseCreateError(FileName);
  TFileStream file(temp, fd);
  try {
    if (exists) {
      if (::fchmod(fd, existing.st_mode & 07777) != 0) RaiseCreateError(FileName);
      if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Only a privileged process may give the file away; others keep it.
      }
    }
    if (ReplaceFileFilter()) {
      std::unique_ptr<TStream> filtered = ReplaceFileFilter()(file);
      Write(*filtered);
    } else {
      Write(file);
    }
    if (::fsync(fd) != 0) RaiseWriteError();
    file.fd_ = -1;
    if (::close(fd) != 0) RaiseWriteError();
    if (::rename(temp.c_str(), target.c_str()) != 0) RaiseCreateError(FileName);
  } catch (...) {
    const int err = errno;
    if (file.fd_ >= 0) {
      ::close(file.fd_);
      file.fd_ = -1;
    }
    ::unlink(temp.c_str());
    errno = err;
    throw;
  }
  SyncFolderOf(target);
}

void SetReplaceFileFilter(TReplaceFileFilter Filter) {
  ReplaceFileFilter() = std::move(Filter);
}

}  // namespace corvid
