// A byte stream that fails where a test wants it to: it passes everything
// through to another stream until byte FailAt of what is written, and
// there either raises (as a full disk does) or writes short (returns fewer
// bytes than asked, with no error, as a write cut by a signal may).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvid/persist/Streams.h"

namespace corvid::test {

enum class TFault : std::uint8_t {
  Raise,       // the write that reaches FailAt raises EWriteError
  ShortWrite,  // it writes the bytes before FailAt and returns their count
};

class TFaultStream : public TStream {
  CORVID_CLASS(TFaultStream, ::corvid::TStream)
 public:
  // Bytes written before FailAt reach Target; Target is not owned. Each
  // write that reaches FailAt counts in *Failures (when given).
  TFaultStream(TStream& Target, std::int64_t FailAt, TFault Fault, int* Failures = nullptr)
      : target_(Target), failAt_(FailAt), fault_(Fault), failures_(Failures) {}

  // The error a failing write raises (errno is ENOSPC when it arrives).
  static std::string ErrorText(std::int64_t FailAt);

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t GetSize() override { return target_.GetSize(); }
  void SetSize(std::int64_t NewSize) override { target_.SetSize(NewSize); }

 private:
  TStream& target_;
  std::int64_t failAt_;
  TFault fault_;
  int* failures_;
  std::int64_t written_ = 0;  // bytes passed through so far
};

// For its lifetime every file written through ReplaceFile goes through a
// TFaultStream failing at FailAt, as every writer of whole files (objects,
// histories, generated units) does.
class TFaultyFiles {
 public:
  TFaultyFiles(std::int64_t FailAt, TFault Fault);
  ~TFaultyFiles();
  TFaultyFiles(const TFaultyFiles&) = delete;
  TFaultyFiles& operator=(const TFaultyFiles&) = delete;

  // How many files were opened, and how many writes reached the failure.
  int Files() const { return files_; }
  int Failures() const { return failures_; }

 private:
  int files_ = 0;
  int failures_ = 0;
};

}  // namespace corvid::test
