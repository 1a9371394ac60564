#include "FaultStream.h"

#include <algorithm>
#include <cerrno>

namespace corvid::test {

std::string TFaultStream::ErrorText(std::int64_t FailAt) {
  return "No space left at byte " + std::to_string(FailAt);
}

std::int64_t TFaultStream::Read(void* Buffer, std::int64_t Count) {
  return target_.Read(Buffer, Count);
}

std::int64_t TFaultStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0 || written_ + Count <= failAt_) {
    const std::int64_t n = target_.Write(Buffer, Count);
    written_ += std::max<std::int64_t>(n, 0);
    return n;
  }
  if (failures_ != nullptr) ++*failures_;
  const std::int64_t room = std::max<std::int64_t>(failAt_ - written_, 0);
  const std::int64_t n = room > 0 ? target_.Write(Buffer, room) : 0;
  written_ += std::max<std::int64_t>(n, 0);
  if (fault_ == TFault::ShortWrite) return n;
  errno = ENOSPC;
  throw EWriteError(ErrorText(failAt_));
}

std::int64_t TFaultStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  return target_.Seek(Offset, Origin);
}

TFaultyFiles::TFaultyFiles(std::int64_t FailAt, TFault Fault) {
  SetReplaceFileFilter([this, FailAt, Fault](TStream& File) {
    ++files_;
    return std::make_unique<TFaultStream>(File, FailAt, Fault, &failures_);
  });
}

TFaultyFiles::~TFaultyFiles() {
  SetReplaceFileFilter(nullptr);
}

}  // namespace corvid::test
