// The object stream, the filers' child-object operations, the free routines
// built on them and the payloads of the platform classes.
#include "corvid/persist/ObjPerst.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "corvid/persist/Graphics.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {

namespace {

[[noreturn]] void RaiseNestedTooDeeplyOnRead() {
  throw EReadError("Objects nested too deeply");
}
[[noreturn]] void RaiseNestedTooDeeplyOnWrite() {
  throw EWriteError("Objects nested too deeply");
}

}  // namespace

// --- Filers --------------------------------------------------------------------

void TObjectWriter::WriteChildObject(const TObject* Obj) {
  owner_.WriteObject(Obj);
}

std::unique_ptr<TObject> TObjectReader::ReadChildObject() {
  return owner_.ReadObject();
}

std::int64_t FloatToComp(long double Value) {
  // 2^63 is exact in every floating type; the range is [-2^63, 2^63).
  constexpr long double limit = 9223372036854775808.0L;
  if (!(Value >= -limit && Value < limit) || Value != std::trunc(Value)) {
    RaiseInvalidPropertyValue();
  }
  return static_cast<std::int64_t>(Value);
}

// --- TObjectStream -------------------------------------------------------------

TObjectStream::TObjectStream(TStream* Stream, bool OwnsStream)
    : stream_(Stream), ownsStream_(OwnsStream) {
  if (Stream == nullptr) RaiseInvalidObjectType();
}

TObjectStream::TObjectStream(const std::string& FileName, std::uint16_t Mode)
    : stream_(new TFileStream(FileName, Mode)), ownsStream_(true) {}

TObjectStream::~TObjectStream() {
  writer_.reset();
  reader_.reset();
  if (ownsStream_) delete stream_;
}

void TObjectStream::Rewind() {
  stream_->SetPosition(0);
}

bool TObjectStream::GetEndOfStream() {
  // Inside a read the byte stream stands after the read-ahead; the reader
  // knows where reading really is.
  if (reader_) return reader_->EndOfStream();
  return stream_->GetPosition() >= stream_->GetSize();
}

const TStreamableInterface* TObjectStream::LookupForWrite(const TObject* Obj) {
  const TClass cls = Obj->ClassType();
  const ClassInfo* key = cls.Info();
  for (int i = 0; i < CacheSize; ++i) {
    if (writeKeys_[i] == key) return writeHits_[i];
  }
  const TStreamableInterface* e = FindStreamableInterface(cls.Name());
  // Only the object's own class counts: not a registered ancestor, and not
  // another class that happens to have the same name.
  if (e == nullptr || e->Class() != cls) RaiseClassNotRegistered(std::string(cls.Name()));
  writeKeys_[writeNext_] = key;
  writeHits_[writeNext_] = e;
  writeNext_ = (writeNext_ + 1) % CacheSize;
  return e;
}

const TStreamableInterface* TObjectStream::LookupForRead(std::string_view Name) {
  // Containers usually hold objects of one class: try the last hit first.
  if (lastRead_ != nullptr && SameBytes(lastRead_->Name(), Name)) return lastRead_;
  for (const TStreamableInterface* e : readHits_) {
    if (e != nullptr && SameBytes(e->Name(), Name)) return lastRead_ = e;
  }
  const TStreamableInterface* e = FindStreamableInterface(Name);
  if (e != nullptr) {
    readHits_[readNext_] = e;
    readNext_ = (readNext_ + 1) % CacheSize;
    lastRead_ = e;
  }
  return e;
}

void TObjectStream::WriteObject(const TObject* Obj) {
  // A write cannot start inside a read procedure of this stream: the
  // reader's read-ahead owns the byte stream's position.
  if (reader_) throw EWriteError("Object stream is reading");
  const TStreamableInterface* entry = Obj != nullptr ? LookupForWrite(Obj) : nullptr;
  if (depth_ >= MaxObjectDepth) RaiseNestedTooDeeplyOnWrite();
  if (depth_ == 0) writer_.emplace(*stream_, *this);
  ++depth_;
  try {
    TObjectWriter& writer = *writer_;
    if (entry == nullptr) {
      writer.WriteSignature();
      writer.WriteString(NilObjectName);
    } else {
      const std::string& header = entry->EncodedHeader();
      if (!header.empty()) {
        writer.Write(header.data(), static_cast<std::int64_t>(header.size()));
      } else {
        writer.WriteSignature();
        writer.WriteString(entry->Name());
      }
      const std::uint16_t version = entry->GetDefaultWriteVersion();
      writer.WriteWord(version);
      entry->GetWriteProc(version)(const_cast<TObject*>(Obj), writer);
    }
  } catch (...) {
    // What was produced stays in the byte stream.
    if (--depth_ == 0) {
      try {
        writer_->FlushBuffer();
      } catch (...) {
        // The first failure is the one reported.
      }
      writer_.reset();
    }
    throw;
  }
  if (--depth_ == 0) {
    try {
      writer_->FlushBuffer();
    } catch (...) {
      writer_.reset();
      throw;
    }
    writer_.reset();
  }
}

void AddRecordContext(EReadError& E, std::string_view ClassName, std::uint16_t Version,
                      std::int64_t Start) {
  std::string detail = "class ";
  detail += ClassName;
  detail += " version " + std::to_string(Version) + ", record at byte " + std::to_string(Start);
  E.SetMessage(E.Message() + " (" + detail + ")");
  E.SetDetail(std::move(detail));
}

std::unique_ptr<TObject> TObjectStream::ReadObject() {
  if (writer_) throw EReadError("Object stream is writing");
  if (depth_ >= MaxObjectDepth) RaiseNestedTooDeeplyOnRead();
  if (depth_ == 0) reader_.emplace(*stream_, *this);
  ++depth_;
  // Whatever happens: one level up; the outermost level destroys the
  // reader, which gives the unused read-ahead back to the byte stream.
  struct Guard {
    TObjectStream& s;
    ~Guard() {
      if (--s.depth_ == 0) s.reader_.reset();
    }
  } guard{*this};

  TObjectReader& reader = *reader_;
  const std::int64_t start = reader.Position();
  reader.ReadSignature();
  // The class name is looked up where it lies in the read-ahead when it
  // can be; it is only copied when it is needed for an error message.
  std::string_view name;
  if (!reader.TryReadShortString(name)) {
    reader.ReadString(name_);
    name = name_;
  }
  if (name == NilObjectName) return nullptr;
  const TStreamableInterface* entry = LookupForRead(name);
  if (entry == nullptr && name.data() != name_.data()) name_.assign(name);
  const std::uint16_t version = reader.ReadWord();
  if (entry == nullptr) RaiseClassNotRegistered(name_);
  std::unique_ptr<TObject> obj = entry->BlankInstance();
  if (!obj) RaiseClassNotRegistered(entry->Name());
  const TObjectReadProc proc = entry->GetReadProc(version);
  try {
    proc(obj.get(), reader);
  } catch (const std::bad_cast&) {
    // A compare or hash function met an object of a class it does not
    // handle: the stream declared a container with functions that do not
    // fit its objects.
    RaiseInvalidObjectType();
  } catch (EReadError& e) {
    // Name the record whose payload failed; the innermost record does it,
    // the records around it leave its text alone.
    if (e.Detail().empty()) AddRecordContext(e, entry->Name(), version, start);
    throw;
  }
  return obj;
}

// --- Free routines -------------------------------------------------------------

std::unique_ptr<TObject> CloneObj(const TObject* Obj) {
  if (Obj == nullptr) return nullptr;
  if (std::unique_ptr<TObject> copy = StreamableInterfaceOf(Obj).CopyWithProc(Obj)) return copy;
  TMemoryStream memory;
  TObjectStream stream(&memory, false);
  stream.WriteObject(Obj);
  stream.Rewind();
  return stream.ReadObject();
}

bool ObjectsEqual(const TObject* A, const TObject* B) {
  TMemoryStream ma;
  TMemoryStream mb;
  {
    TObjectStream sa(&ma, false);
    sa.WriteObject(A);
  }
  {
    TObjectStream sb(&mb, false);
    sb.WriteObject(B);
  }
  return StreamsEqual(ma, mb);
}

bool StreamsEqual(TStream& S1, TStream& S2) {
  const std::int64_t size = S1.GetSize();
  if (size != S2.GetSize()) return false;
  S1.SetPosition(0);
  S2.SetPosition(0);
  char b1[4096];
  char b2[4096];
  std::int64_t left = size;
  while (left > 0) {
    const std::int64_t n = std::min<std::int64_t>(left, sizeof b1);
    S1.ReadBuffer(b1, n);
    S2.ReadBuffer(b2, n);
    if (std::memcmp(b1, b2, static_cast<std::size_t>(n)) != 0) return false;
    left -= n;
  }
  return true;
}

void WriteObjectToFile(const TObject* Obj, const std::string& FileName, bool Buffered) {
  // Either way the file is replaced only by a complete record.
  if (Buffered) {
    TMemoryStream memory;
    {
      TObjectStream stream(&memory, false);
      stream.WriteObject(Obj);
    }
    memory.SaveToFile(FileName);
  } else {
    ReplaceFile(FileName, [Obj](TStream& File) {
      TObjectStream stream(&File, false);
      stream.WriteObject(Obj);
    });
  }
}

std::unique_ptr<TObject> ReadObjectFromFile(const std::string& FileName, bool Buffered) {
  if (Buffered) {
    TMemoryStream memory;
    memory.LoadFromFile(FileName);
    TObjectStream stream(&memory, false);
    return stream.ReadObject();
  }
  TObjectStream stream(FileName, fmOpenRead);
  return stream.ReadObject();
}

// --- Platform class payloads -----------------------------------------------------

void WriteGraphic(TObject* Obj, TObjectWriter& Writer) {
  const TGraphic& graphic = PayloadCast<TGraphic>(Obj);
  TMemoryStream data;
  graphic.SaveToStream(data);
  Writer.WriteInt64(data.GetSize());
  Writer.Write(data.Memory(), data.GetSize());
}

void ReadGraphic(TObject* Obj, TObjectReader& Reader) {
  TGraphic& graphic = PayloadCast<TGraphic>(Obj);
  const std::int64_t n = Reader.ReadInt64();
  Reader.CheckAvailable(n);
  TMemoryStream data;
  data.SetSize(n);
  Reader.Read(data.Memory(), n);
  data.SetPosition(0);
  graphic.LoadFromStream(data);
}

void WriteMemoryStream(TObject* Obj, TObjectWriter& Writer) {
  TMemoryStream& memory = PayloadCast<TMemoryStream>(Obj);
  memory.SetPosition(0);
  Writer.WriteInt64(memory.GetSize());
  Writer.Write(memory.Memory(), memory.GetSize());
}

void ReadMemoryStream(TObject* Obj, TObjectReader& Reader) {
  TMemoryStream& memory = PayloadCast<TMemoryStream>(Obj);
  const std::int64_t n = Reader.ReadInt64();
  Reader.CheckAvailable(n);
  memory.SetSize(n);
  Reader.Read(memory.Memory(), n);
  memory.SetPosition(0);
}

}  // namespace corvid
