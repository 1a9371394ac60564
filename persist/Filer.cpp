#include "corvid/persist/Filer.h"

#include <algorithm>
#include <limits>

#include "corvid/persist/CodePage.h"

namespace corvid {

static_assert(std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384,
              "long double must be the x87 80-bit extended type");

void RaiseInvalidPropertyValue() {
  throw EReadError("Invalid property value");
}
void RaiseInvalidStreamFormat() {
  throw EReadError("Invalid stream format");
}

namespace {

[[noreturn]] void RaiseUnconvertibleText() {
  throw EReadError("Text cannot be converted to the system code page");
}

void PutLE(std::uint8_t* p, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t GetLE(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return v;
}

}  // namespace

void LongDoubleToExtended(long double Value, std::uint8_t (&Bytes)[10]) {
  std::memcpy(Bytes, &Value, 10);
}

long double ExtendedToLongDouble(const std::uint8_t (&Bytes)[10]) {
  long double v = 0;
  std::memcpy(&v, Bytes, 10);
  return v;
}

// --- TWriter -----------------------------------------------------------------

TWriter::~TWriter() {
  try {
    FlushBuffer();
  } catch (...) {
    // Destructors must not throw; callers that need the error flush first.
  }
}

void TWriter::FlushBuffer() {
  if (pos_ == 0) return;
  const std::int32_t n = pos_;
  pos_ = 0;
  stream_.WriteBuffer(buffer_, n);
}

void TWriter::WriteSlow(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return;
  const auto* p = static_cast<const std::uint8_t*>(Buffer);
  if (Count >= BufferSize) {
    // Large blocks go straight to the stream after what is buffered.
    FlushBuffer();
    stream_.WriteBuffer(p, Count);
    return;
  }
  const std::int32_t first = BufferSize - pos_;
  std::memcpy(buffer_ + pos_, p, static_cast<std::size_t>(first));
  pos_ = BufferSize;
  FlushBuffer();
  std::memcpy(buffer_, p + first, static_cast<std::size_t>(Count - first));
  pos_ = static_cast<std::int32_t>(Count - first);
}

void TWriter::WriteString(std::string_view S) {
  if (S.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    RaiseWriteError();
  }
  std::uint8_t head[5];
  if (!IsAscii(S)) {
    std::string utf8;
    // Text that cannot be converted (malformed UTF-8 under the UTF-8 code
    // page) is kept byte for byte as a plain string below, so that every
    // 8-bit string reads back unchanged.
    if (SystemToUtf8(S, utf8) &&
        utf8.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      head[0] = vaUTF8String;
      PutLE(head + 1, utf8.size(), 4);
      Write(head, 5);
      Write(utf8.data(), static_cast<std::int64_t>(utf8.size()));
      return;
    }
  }
  if (S.size() < 256) {
    head[0] = vaString;
    head[1] = static_cast<std::uint8_t>(S.size());
    Write(head, 2);
  } else {
    head[0] = vaLString;
    PutLE(head + 1, S.size(), 4);
    Write(head, 5);
  }
  Write(S.data(), static_cast<std::int64_t>(S.size()));
}

void TWriter::WriteIntegerSlow(std::int32_t Value) {
  std::uint8_t b[5];
  if (Value >= -128 && Value <= 127) {
    b[0] = vaInt8;
    b[1] = static_cast<std::uint8_t>(Value);
    Write(b, 2);
  } else if (Value >= -32768 && Value <= 32767) {
    b[0] = vaInt16;
    PutLE(b + 1, static_cast<std::uint16_t>(Value), 2);
    Write(b, 3);
  } else {
    b[0] = vaInt32;
    PutLE(b + 1, static_cast<std::uint32_t>(Value), 4);
    Write(b, 5);
  }
}

void TWriter::WriteInt64(std::int64_t Value) {
  if (Value >= std::numeric_limits<std::int32_t>::min() &&
      Value <= std::numeric_limits<std::int32_t>::max()) {
    WriteInteger(static_cast<std::int32_t>(Value));
    return;
  }
  std::uint8_t b[9];
  b[0] = vaInt64;
  PutLE(b + 1, static_cast<std::uint64_t>(Value), 8);
  Write(b, 9);
}

void TWriter::WriteFloat(long double Value) {
  std::uint8_t b[11];
  b[0] = vaExtended;
  std::uint8_t ext[10];
  LongDoubleToExtended(Value, ext);
  std::memcpy(b + 1, ext, 10);
  Write(b, 11);
}

// --- TReader -----------------------------------------------------------------

TReader::TReader(TStream& Stream) : stream_(Stream) {
  // Only a plain memory stream is read in place (a derived class may read
  // otherwise), through its fields: a reader is made for every record.
  if (Stream.ClassType() != TMemoryStream::StaticClass()) {
    streamPos_ = Stream.GetPosition();
    streamSize_ = Stream.GetSize();
    return;
  }
  auto& memory = static_cast<TMemoryStream&>(Stream);
  streamPos_ = memory.position_;
  streamSize_ = memory.size_;
  const std::int64_t rest = streamSize_ - streamPos_;
  if (rest <= 0 || rest > INT32_MAX || memory.data_ == nullptr) return;
  // The whole rest counts as read ahead: the stream stands at its end, and
  // FlushBuffer moves it back over what was not used, as for a copy.
  buffer_ = memory.data_ + streamPos_;
  end_ = static_cast<std::int32_t>(rest);
  inPlace_ = true;
  streamPos_ = streamSize_;
  memory.position_ = streamSize_;
}

TReader::~TReader() {
  try {
    FlushBuffer();
  } catch (...) {
    // A stream that cannot seek back keeps its position past the record.
  }
}

void TReader::FlushBuffer() {
  const std::int32_t unused = end_ - pos_;
  pos_ = end_ = 0;
  if (unused > 0) {
    streamPos_ -= unused;
    if (inPlace_) {
      static_cast<TMemoryStream&>(stream_).position_ -= unused;
    } else {
      stream_.Seek(-unused, soCurrent);
    }
  }
}

void TReader::Refill(std::int32_t Need) {
  // Read in place, everything there is lies in the read-ahead already.
  if (inPlace_) RaiseReadError();
  // Keep the unread tail, then fill up to the buffer's size.
  const std::int32_t have = end_ - pos_;
  if (have > 0 && pos_ > 0) std::memmove(buffer_, buffer_ + pos_, static_cast<std::size_t>(have));
  pos_ = 0;
  end_ = have;
  while (end_ < Need) {
    const std::int64_t n = stream_.Read(buffer_ + end_, BufferSize - end_);
    if (n <= 0) RaiseReadError();
    end_ += static_cast<std::int32_t>(n);
    streamPos_ += n;
  }
}

void TReader::ReadSlow(void* Buffer, std::int64_t Count) {
  if (Count <= 0) {
    if (Count < 0) RaiseReadError();
    return;
  }
  auto* p = static_cast<std::uint8_t*>(Buffer);
  const std::int32_t have = end_ - pos_;
  std::memcpy(p, buffer_ + pos_, static_cast<std::size_t>(have));
  pos_ = end_;
  p += have;
  Count -= have;
  if (Count >= BufferSize) {
    // Large blocks are read straight from the stream.
    const std::int64_t n = stream_.Read(p, Count);
    if (n > 0) streamPos_ += n;
    if (n != Count) RaiseReadError();
    return;
  }
  Refill(static_cast<std::int32_t>(Count));
  std::memcpy(p, buffer_, static_cast<std::size_t>(Count));
  pos_ = static_cast<std::int32_t>(Count);
}

void TReader::ReadSignatureSlow() {
  char sig[4];
  Read(sig, 4);
  if (std::memcmp(sig, "TPF0", 4) != 0) RaiseInvalidStreamFormat();
}

void TReader::ReadString(std::string& S) {
  switch (ReadValue()) {
    case vaString: {
      const std::uint8_t len = ReadByte();
      if (len <= end_ - pos_) {
        S.assign(reinterpret_cast<const char*>(buffer_ + pos_), len);
        pos_ += len;
      } else {
        CheckAvailable(len);
        S.resize(len);
        Read(S.data(), len);
      }
      return;
    }
    case vaLString: {
      const std::uint32_t len = ReadU32();
      CheckAvailable(len);
      S.resize(len);
      Read(S.data(), len);
      return;
    }
    case vaUTF8String: {
      const std::uint32_t len = ReadU32();
      CheckAvailable(len);
      std::string utf8(len, '\0');
      Read(utf8.data(), len);
      if (IsAscii(utf8)) {
        S = std::move(utf8);
      } else if (!Utf8ToSystem(utf8, S)) {
        RaiseUnconvertibleText();
      }
      return;
    }
    case vaWString: {
      const std::uint32_t count = ReadU32();
      CheckAvailable(2 * static_cast<std::int64_t>(count));
      std::u16string utf16(count, u'\0');
      for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t b[2];
        Read(b, 2);
        utf16[i] = static_cast<char16_t>(b[0] | (b[1] << 8));
      }
      if (!Utf16ToSystem(utf16, S)) RaiseUnconvertibleText();
      return;
    }
    default:
      RaiseInvalidPropertyValue();
  }
}

std::int32_t TReader::ReadIntegerSlow() {
  std::uint8_t b[4];
  switch (ReadValue()) {
    case vaInt8:
      return static_cast<std::int8_t>(ReadByte());
    case vaInt16:
      Read(b, 2);
      return static_cast<std::int16_t>(GetLE(b, 2));
    case vaInt32:
      Read(b, 4);
      return static_cast<std::int32_t>(GetLE(b, 4));
    default:
      RaiseInvalidPropertyValue();
  }
}

std::int64_t TReader::ReadInt64() {
  if (NextValue() != vaInt64) return ReadInteger();
  ReadByte();
  std::uint8_t b[8];
  Read(b, 8);
  return static_cast<std::int64_t>(GetLE(b, 8));
}

char TReader::ReadChar() {
  if (ReadValue() != vaString || ReadByte() != 1) RaiseInvalidPropertyValue();
  return static_cast<char>(ReadByte());
}

long double TReader::ReadFloat() {
  if (NextValue() != vaExtended) return ReadInteger();
  ReadByte();
  std::uint8_t ext[10];
  Read(ext, 10);
  return ExtendedToLongDouble(ext);
}

}  // namespace corvid
