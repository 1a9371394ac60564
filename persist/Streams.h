/// @file
/// Byte streams: the small platform layer under the object stream.
///
///   TStream        abstract: read, write, seek, size, position.
///   TMemoryStream  a growable block of memory; streamable (its payload is its
///                  content), so it can also be stored as an object.
///   TFileStream    a file opened by name for reading or created (truncated)
///                  for writing.
///   ReplaceFile    writes a whole file so that it is either replaced by the
///                  complete new content or left as it was.
///
/// Read/Write transfer up to Count bytes and return how many they did;
/// ReadBuffer/WriteBuffer transfer exactly Count bytes or raise EReadError
/// ("Stream read error") / EWriteError ("Stream write error").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "corvid/containers/ObjRoot.h"

namespace corvid {

/// Failures of the byte streams and of the filer that reads and writes tagged
/// values on them.
CORVID_EXCEPTION(EReadError)
CORVID_EXCEPTION(EWriteError)
/// A file that cannot be opened for reading / created for writing.
CORVID_EXCEPTION(EFOpenError)
CORVID_EXCEPTION(EFCreateError)

/// Raise EReadError / EWriteError with the filer's standard texts.
[[noreturn]] void RaiseReadError();   // "Stream read error"
[[noreturn]] void RaiseWriteError();  // "Stream write error"

enum TSeekOrigin : std::uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

/// Open modes of TFileStream (the 16-bit modes of the object stream's file
/// constructor): fmOpenRead opens an existing file for reading, fmOpenWrite
/// and fmOpenReadWrite an existing file for writing (and reading), fmCreate
/// creates the file or truncates an existing one and opens it for writing.
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmCreate = 0xFFFF;

/// The abstract byte stream: read, write, seek, size and position.
class TStream : public TObject {
  CORVID_CLASS(TStream, ::corvid::TObject)
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  /// Reads up to Count bytes at the position; returns the number read (0 at
  /// the end). Count < 0 reads nothing.
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  /// Writes up to Count bytes at the position; returns the number written.
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  /// Moves the position and returns the new one. Seeking before the start
  /// raises EReadError; seeking past the end is allowed (a later write
  /// extends the stream).
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual std::int64_t GetSize();
  /// Truncates or extends the stream (new bytes are zero).
  virtual void SetSize(std::int64_t NewSize) = 0;

  std::int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }

  /// Exactly Count bytes, or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  /// Copies Count bytes from Source's position (Count 0: Source's whole
  /// content from position 0). Returns the number of bytes copied.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

/// A growable block of memory; streamable, its payload is its content.
class TMemoryStream : public TStream {
  CORVID_CLASS(TMemoryStream, ::corvid::TStream)
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t GetSize() override { return size_; }
  /// Keeps the position, even when it now lies past the end.
  void SetSize(std::int64_t NewSize) override;

  /// Empties the stream and frees its memory.
  void Clear();
  /// The content (size GetSize()); null while empty and never allocated.
  std::uint8_t* Memory() { return data_; }
  const std::uint8_t* Memory() const { return data_; }
  std::string_view View() const {
    return {reinterpret_cast<const char*>(data_), static_cast<std::size_t>(size_)};
  }

  /// Replaces the content with Stream's whole content; position 0.
  void LoadFromStream(TStream& Stream);
  /// Writes the whole content to Stream at its position.
  void SaveToStream(TStream& Stream) const;
  /// Whole-file helpers (EFOpenError / EFCreateError when the file cannot be
  /// opened or created). SaveToFile replaces the file through ReplaceFile.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  /// Makes room for at least NewCapacity bytes without changing the size.
  void Reserve(std::int64_t NewCapacity);
  /// Replaces the content with the Count bytes at Data (none when Count <=
  /// 0); position 0. One call where SetSize, SetPosition and Write would be
  /// three virtual ones: drivers fill a stream this way for every record.
  void Assign(const void* Data, std::int64_t Count);

 private:
  // The reader reads a plain memory stream in place.
  friend class TReader;

  std::uint8_t* data_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t position_ = 0;
};

/// A file opened by name for reading or created (truncated) for writing.
class TFileStream : public TStream {
  CORVID_CLASS(TFileStream, ::corvid::TStream)
 public:
  /// Mode is one of the fm* constants above. EFOpenError when an existing
  /// file cannot be opened, EFCreateError when fmCreate cannot create it.
  TFileStream(const std::string& FileName, std::uint16_t Mode);
  ~TFileStream() override;

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t NewSize) override;

  const std::string& FileName() const { return fileName_; }

 private:
  friend void ReplaceFile(const std::string& FileName, const std::function<void(TStream&)>& Write);
  /// Takes over Fd, an open file named FileName.
  TFileStream(std::string FileName, int Fd) : fileName_(std::move(FileName)), fd_(Fd) {}

  std::string fileName_;
  int fd_ = -1;
};

/// Writes the file FileName with what Write puts into the stream it is given,
/// all or nothing: Write fills a new file beside FileName (same folder, a
/// hidden temporary name), which is flushed to the disk and then renamed over
/// FileName. If anything fails (Write raises, the disk is full, the flush or
/// the rename fails) the exception propagates, FileName is left as it was and
/// the temporary file is removed. EFCreateError when the temporary file
/// cannot be made or not be renamed, EWriteError when writing or flushing it
/// fails; errno still tells the system's reason when the exception arrives.
///
/// An existing file keeps its permissions (and its owner, where the process
/// may set it); a symbolic link keeps pointing at the file, which is
/// replaced. A FileName that exists but is not a regular file (a device, a
/// pipe) is written in place: there is nothing there to replace.
void ReplaceFile(const std::string& FileName, const std::function<void(TStream&)>& Write);

// Where tests make writes fail: while a filter is set, ReplaceFile hands
// Write the stream the filter makes over the temporary file instead of the
// file itself (a stream that fails or writes short at a chosen byte, say).
// An empty filter restores the plain file. Not for concurrent use.
using TReplaceFileFilter = std::function<std::unique_ptr<TStream>(TStream& File)>;
void SetReplaceFileFilter(TReplaceFileFilter Filter);

}  // namespace corvid
