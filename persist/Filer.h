/// @file
/// The filer: tagged values on a byte stream, written through a 4096-byte
/// buffer (TWriter) and read through a 4096-byte read-ahead (TReader).
///
/// Encoding (a tag byte first, numbers little-endian):
///   string   06 len8 bytes (7-bit text shorter than 256), 0C len32 bytes
///            (longer 7-bit text), 14 len32 UTF-8 (text with characters
///            outside 7-bit ASCII, converted from the system code page,
///            persist/CodePage.h). Reading also takes 12 count32 UTF-16LE.
///   integer  02 int8, 03 int16, 04 int32 (the smallest that fits);
///            13 int64 for 64-bit values outside the 32-bit range.
///   boolean  09 true, 08 false (any byte other than 09 reads as false).
///   char     a string of length one: 06 01 byte.
///   float    05 and the 10 bytes of the 80-bit x87 extended value.
///   raw      the bytes, no tag.
/// Malformed input raises EReadError: "Invalid property value" for a tag a
/// reading operation does not accept, "Stream read error" for reading past
/// the end. A length field that is larger than what remains in the stream
/// fails with "Stream read error" before anything is allocated.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "corvid/persist/Streams.h"

namespace corvid {

/// The tags of the value encoding.
enum TValueType : std::uint8_t {
  vaInt8 = 0x02,
  vaInt16 = 0x03,
  vaInt32 = 0x04,
  vaExtended = 0x05,
  vaString = 0x06,
  vaFalse = 0x08,
  vaTrue = 0x09,
  vaLString = 0x0C,
  vaWString = 0x12,
  vaInt64 = 0x13,
  vaUTF8String = 0x14,
};

[[noreturn]] void RaiseInvalidPropertyValue();  // EReadError "Invalid property value"
[[noreturn]] void RaiseInvalidStreamFormat();   // EReadError "Invalid stream format"

/// Writes tagged values to a byte stream through a 4096-byte buffer.
class TWriter {
 public:
  static constexpr std::int32_t BufferSize = 4096;

  explicit TWriter(TStream& Stream) : stream_(Stream) {}
  /// Writes what is still buffered; a failure to do so is swallowed here, so
  /// call FlushBuffer first where it must be reported.
  ~TWriter();
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  TStream& Stream() const { return stream_; }
  /// The byte stream's position plus what is buffered.
  std::int64_t Position() const { return stream_.GetPosition() + pos_; }
  /// Writes the buffered bytes to the byte stream (EWriteError on failure).
  void FlushBuffer();

  /// Raw bytes, no tag.
  void Write(const void* Buffer, std::int64_t Count) {
    if (Count > 0 && Count <= BufferSize - pos_) {
      std::memcpy(buffer_ + pos_, Buffer, static_cast<std::size_t>(Count));
      pos_ += static_cast<std::int32_t>(Count);
    } else {
      WriteSlow(Buffer, Count);
    }
  }
  void WriteByte(std::uint8_t B) {
    if (pos_ == BufferSize) FlushBuffer();
    buffer_[pos_++] = B;
  }
  void WriteValue(TValueType Value) { WriteByte(Value); }
  /// 2 raw bytes, little-endian (the version of an object record).
  void WriteWord(std::uint16_t W) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(W), static_cast<std::uint8_t>(W >> 8)};
    Write(b, 2);
  }

  void WriteSignature() { Write("TPF0", 4); }
  void WriteString(std::string_view S);
  void WriteInteger(std::int32_t Value) {
    if (Value >= -128 && Value <= 127 && pos_ <= BufferSize - 2) {
      buffer_[pos_] = vaInt8;
      buffer_[pos_ + 1] = static_cast<std::uint8_t>(Value);
      pos_ += 2;
    } else {
      WriteIntegerSlow(Value);
    }
  }
  void WriteInteger(std::int64_t Value) { WriteInt64(Value); }
  void WriteInt64(std::int64_t Value);
  void WriteBoolean(bool Value) { WriteByte(Value ? vaTrue : vaFalse); }
  void WriteChar(char C) {
    const std::uint8_t b[3] = {vaString, 1, static_cast<std::uint8_t>(C)};
    Write(b, 3);
  }
  void WriteFloat(long double Value);

 private:
  void WriteSlow(const void* Buffer, std::int64_t Count);
  void WriteIntegerSlow(std::int32_t Value);

  TStream& stream_;
  std::int32_t pos_ = 0;
  std::uint8_t buffer_[BufferSize];
};

/// Reads tagged values from a byte stream through a 4096-byte read-ahead.
/// A TMemoryStream is read in place instead: its bytes are the read-ahead,
/// so a record read from memory is never copied first.
class TReader {
 public:
  static constexpr std::int32_t BufferSize = 4096;

  /// Starts at the byte stream's position; takes its size once.
  explicit TReader(TStream& Stream);
  /// Gives the unused read-ahead back (FlushBuffer), so the byte stream
  /// stands immediately after the last byte read.
  ~TReader();
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  TStream& Stream() const { return stream_; }
  /// Position of the next byte to read, in byte-stream terms.
  std::int64_t Position() const { return streamPos_ - (end_ - pos_); }
  /// Bytes from the reading position to the end of the byte stream.
  std::int64_t Remaining() const {
    const std::int64_t r = streamSize_ - Position();
    return r > 0 ? r : 0;
  }
  bool EndOfStream() const { return Remaining() == 0; }
  /// "Stream read error" unless Count bytes remain.
  void CheckAvailable(std::int64_t Count) const {
    if (Count < 0 || Count > Remaining()) RaiseReadError();
  }
  /// Moves the byte stream back over the unused read-ahead and empties it.
  void FlushBuffer();

  /// Exactly Count raw bytes, or "Stream read error".
  void Read(void* Buffer, std::int64_t Count) {
    if (Count > 0 && Count <= end_ - pos_) {
      std::memcpy(Buffer, buffer_ + pos_, static_cast<std::size_t>(Count));
      pos_ += static_cast<std::int32_t>(Count);
    } else {
      ReadSlow(Buffer, Count);
    }
  }
  std::uint8_t ReadByte() {
    if (pos_ == end_) Refill(1);
    return buffer_[pos_++];
  }
  TValueType ReadValue() { return static_cast<TValueType>(ReadByte()); }
  /// The next tag, not consumed.
  TValueType NextValue() {
    if (pos_ == end_) Refill(1);
    return static_cast<TValueType>(buffer_[pos_]);
  }
  std::uint16_t ReadWord() {
    std::uint8_t b[2];
    Read(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }

  /// "Invalid stream format" unless the next four bytes are "TPF0".
  void ReadSignature() {
    if (end_ - pos_ >= 4 && std::memcmp(buffer_ + pos_, "TPF0", 4) == 0) {
      pos_ += 4;
    } else {
      ReadSignatureSlow();
    }
  }
  /// When the next value is a short string (tag 06) that lies completely in
  /// the read-ahead, consumes it and sets S to view it there (valid until
  /// the next read); otherwise consumes nothing and returns false.
  bool TryReadShortString(std::string_view& S) {
    if (end_ - pos_ >= 2 && buffer_[pos_] == vaString && buffer_[pos_ + 1] <= end_ - pos_ - 2) {
      S = std::string_view(reinterpret_cast<const char*>(buffer_ + pos_ + 2), buffer_[pos_ + 1]);
      pos_ += 2 + buffer_[pos_ + 1];
      return true;
    }
    return false;
  }
  std::string ReadString() {
    std::string s;
    ReadString(s);
    return s;
  }
  /// Reads into S, reusing its memory.
  void ReadString(std::string& S);
  /// Tags 02, 03, 04 only.
  std::int32_t ReadInteger() {
    if (end_ - pos_ >= 2 && buffer_[pos_] == vaInt8) {
      pos_ += 2;
      return static_cast<std::int8_t>(buffer_[pos_ - 1]);
    }
    return ReadIntegerSlow();
  }
  /// Tags 02, 03, 04 and 13.
  std::int64_t ReadInt64();
  bool ReadBoolean() { return ReadByte() == vaTrue; }
  /// Exactly 06 01 and the byte.
  char ReadChar();
  /// Tag 05, and the integer tags 02, 03, 04.
  long double ReadFloat();

 private:
  /// Makes at least Need (<= BufferSize) bytes available, or raises.
  void Refill(std::int32_t Need);
  void ReadSignatureSlow();
  std::int32_t ReadIntegerSlow();
  void ReadSlow(void* Buffer, std::int64_t Count);
  std::uint32_t ReadU32() {
    std::uint8_t b[4];
    Read(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }

  TStream& stream_;
  std::int64_t streamSize_ = 0;
  /// The byte stream's own position: just after buffer_[end_ - 1].
  std::int64_t streamPos_ = 0;
  std::int32_t pos_ = 0;
  std::int32_t end_ = 0;
  /// own_, or the memory stream's bytes from the starting position on.
  std::uint8_t* buffer_ = own_;
  bool inPlace_ = false;
  std::uint8_t own_[BufferSize];
};

/// The 80-bit x87 extended format of the encoding, to and from the widest
/// floating type.
void LongDoubleToExtended(long double Value, std::uint8_t (&Bytes)[10]);
long double ExtendedToLongDouble(const std::uint8_t (&Bytes)[10]);

}  // namespace corvid
