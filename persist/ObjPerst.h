/// @file
/// Object persistence: the registries of streamable classes, compare
/// functions and hash functions, and the object stream that writes any
/// registered object (with the objects it contains) to a byte stream and
/// reads it back.
///
/// Object record (the same for top-level and nested objects; no length
/// prefix, no terminator):
///   "TPF0"; the class name as a string value (or "*NilObject*" for null);
///   the version as 2 raw little-endian bytes (absent for null); the payload
///   that the class's registered write procedure of that version produces.
/// The value encoding is the filer's (persist/Filer.h).
///
/// Registering a class. A class declared with CORVID_CLASS registers its
/// read and write procedures once, from a static initialiser:
///   RegisterStreamable(TShape::StaticClass(), {ReadShape}, {WriteShape});
/// The object stream rebuilds an instance from a blank instance of the class
/// (TClass::CreateBlank: the TBlank constructor, else the default one), so
/// the read procedure must set every field. Destructors must work on blank
/// and partly read instances: a failing read procedure's object is destroyed.
///
/// Ownership. ReadObject, ReadChildObject, CloneObj and ReadObjectFromFile
/// hand a new object to the caller. Writing takes the object by const
/// pointer: writing does not change an object's state, but a container's
/// write procedure walks its cursor, which is left where the payload
/// description says.
///
/// Threads. Class look-ups by name take one process-wide lock; the compare
/// and hash registries take none. One object stream serves one thread at a
/// time.
///
/// Limits. Objects nest at most MaxObjectDepth records deep (a list inside a
/// list ...): deeper input raises EReadError "Objects nested too deeply"
/// instead of exhausting the stack, and writing deeper (or a structure that
/// contains itself) raises EWriteError with the same text.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjHash.h"
#include "corvid/containers/ObjRoot.h"
#include "corvid/containers/ObjType.h"
#include "corvid/persist/CodePage.h"
#include "corvid/persist/Filer.h"
#include "corvid/persist/Streams.h"

namespace corvid {

class TObjectStream;
class TObjectReader;
class TObjectWriter;
class TStreamableInterface;

/// The per-class, per-version stream procedures.
using TObjectReadProc = void (*)(TObject* Obj, TObjectReader& Reader);
using TObjectWriteProc = void (*)(TObject* Obj, TObjectWriter& Writer);
/// A class's copy procedure (SetCopyProc): fills Dest, a blank instance of
/// Source's class, as reading Source's image back would.
using TObjectCopyProc = void (*)(const TObject* Source, TObject* Dest);

/// Deepest nesting of object records that the object stream reads or writes.
inline constexpr std::int32_t MaxObjectDepth = 1000;

/// The class name written for a null object.
inline constexpr std::string_view NilObjectName = "*NilObject*";

// --- Registries ---------------------------------------------------------------

/// One registered class: its name (the registry key), its class reference,
/// its read and write procedures (element 1 is version 1) and the version
/// the object stream writes.
class TStreamableInterface : public TObject {
  CORVID_CLASS(TStreamableInterface, ::corvid::TObject)
 public:
  TStreamableInterface(TClass AClass, std::vector<TObjectReadProc> ReadProcs,
                       std::vector<TObjectWriteProc> WriteProcs);

  const std::string& Name() const { return name_; }
  TClass Class() const { return class_; }
  /// A blank instance of the class (null when the class cannot make one).
  std::unique_ptr<TObject> BlankInstance() const { return class_.CreateBlank(); }

  std::uint16_t ReadProcCount() const { return static_cast<std::uint16_t>(readProcs_.size()); }
  std::uint16_t WriteProcCount() const { return static_cast<std::uint16_t>(writeProcs_.size()); }
  /// EClassVersionNotRegistered for version 0 or above the count.
  TObjectReadProc GetReadProc(std::uint16_t Version) const {
    if (Version == 0 || Version > readProcs_.size()) RaiseClassVersionNotRegistered();
    return readProcs_[Version - 1];
  }
  TObjectWriteProc GetWriteProc(std::uint16_t Version) const {
    if (Version == 0 || Version > writeProcs_.size()) RaiseClassVersionNotRegistered();
    return writeProcs_[Version - 1];
  }
  /// The signature and the encoded class name, ready to be written, for a
  /// name of pure 7-bit text shorter than 256 characters (whose encoding does
  /// not depend on the code page); empty otherwise.
  const std::string& EncodedHeader() const { return encodedHeader_; }
  std::uint16_t GetDefaultWriteVersion() const {
    return defaultWriteVersion_.load(std::memory_order_relaxed);
  }
  /// The copy procedure (SetCopyProc), or null.
  TObjectCopyProc CopyProc() const { return copyProc_.load(std::memory_order_acquire); }
  /// A copy of Source (an object of this class) made by the copy procedure
  /// from a blank instance, or null when the class has none.
  std::unique_ptr<TObject> CopyWithProc(const TObject* Source) const;

 private:
  friend void SetDefaultWriteProcVersion(TClass AClass, std::uint16_t Version);
  friend void SetCopyProc(TClass AClass, TObjectCopyProc Proc);

  std::string name_;
  TClass class_;
  std::vector<TObjectReadProc> readProcs_;
  std::vector<TObjectWriteProc> writeProcs_;
  std::atomic<std::uint16_t> defaultWriteVersion_{0};
  std::atomic<TObjectCopyProc> copyProc_{nullptr};
  std::string encodedHeader_;
};

/// Registers AClass under its class name with its procedures as versions
/// 1, 2, ...; the default write version is the newest. A name already
/// registered raises EDuplicateRegisteredClass (" : " and the name) and
/// leaves the first registration in force.
void RegisterStreamable(TClass AClass, const std::vector<TObjectReadProc>& ReadProcs,
                        const std::vector<TObjectWriteProc>& WriteProcs);
/// The class registered under Name (letter case counts); EClassNotRegistered
/// with the name appended when there is none.
TClass GetRegisteredClass(const std::string& Name);
/// The registration of Name, or null. Takes the lock.
const TStreamableInterface* FindStreamableInterface(std::string_view Name);
/// Makes the object stream write AClass with write procedure Version from
/// now on. EClassNotRegistered when AClass is not registered;
/// EClassVersionNotRegistered for 0 or above the number of write procedures.
void SetDefaultWriteProcVersion(TClass AClass, std::uint16_t Version);
/// The registration of Obj's own class (not a registered ancestor's, nor
/// another class of the same name); EClassNotRegistered with the class name
/// appended when there is none. Takes the lock.
const TStreamableInterface& StreamableInterfaceOf(const TObject* Obj);
/// Gives the registered class AClass a copy procedure: CloneObj and the
/// datasets' copies of their current objects then fill a blank instance
/// with Proc instead of writing the object's image and reading it back,
/// which costs a good deal more. Proc must leave Dest as that read would
/// (every field set, owned objects copied rather than shared); an object of
/// a derived class is copied by its own class's procedure or through its
/// image. Null takes the procedure away. EClassNotRegistered when AClass is
/// not registered.
void SetCopyProc(TClass AClass, TObjectCopyProc Proc);

/// Compare-function registry entry.
class TCompareFuncEntry : public TObject {
  CORVID_CLASS(TCompareFuncEntry, ::corvid::TObject)
 public:
  TCompareFuncEntry(std::string AName, TCompareFunc AFunc) : Name(std::move(AName)), Func(AFunc) {}
  std::string Name;
  TCompareFunc Func;
};

/// Hash-function registry entry.
class THashFuncEntry : public TObject {
  CORVID_CLASS(THashFuncEntry, ::corvid::TObject)
 public:
  THashFuncEntry(std::string AName, THashFunc AFunc) : Name(std::move(AName)), Func(AFunc) {}
  std::string Name;
  THashFunc Func;
};

/// Names are case-sensitive and unique per registry. A function may be
/// registered under several names; the ...Name look-ups walk the registry
/// from its first entry and return the first name found.
void RegisterCompareFunction(const std::string& Name, TCompareFunc Func);
TCompareFunc GetCompareFunc(const std::string& Name);  // ECompareFuncNotRegistered
std::string GetCompareFuncName(TCompareFunc Func);     // ECompareFuncNotRegistered
void RegisterHashFunction(const std::string& Name, THashFunc Func);
THashFunc GetHashFunc(const std::string& Name);  // EHashFuncNotRegistered
std::string GetHashFuncName(THashFunc Func);     // EHashFuncNotRegistered

// --- Filers of the object stream -----------------------------------------------

/// The filer writer of an object stream; payload write procedures receive it.
class TObjectWriter : public TWriter {
 public:
  TObjectWriter(TStream& Stream, TObjectStream& Owner) : TWriter(Stream), owner_(Owner) {}
  TObjectStream& ObjectStream() const { return owner_; }
  /// Writes Obj as a complete nested record at the current position.
  void WriteChildObject(const TObject* Obj);

 private:
  TObjectStream& owner_;
};

/// The filer reader of an object stream; payload read procedures receive it.
class TObjectReader : public TReader {
 public:
  TObjectReader(TStream& Stream, TObjectStream& Owner) : TReader(Stream), owner_(Owner) {}
  TObjectStream& ObjectStream() const { return owner_; }
  /// Reads a complete nested record; null for the nil marker.
  std::unique_ptr<TObject> ReadChildObject();
  /// ReadChildObject for a child declared of class T: null for the nil
  /// marker; a record of a class that is neither T nor a descendant raises
  /// EInvalidObjectType (the object read is destroyed).
  template <class T>
  std::unique_ptr<T> ReadChildObjectAs() {
    std::unique_ptr<TObject> obj = ReadChildObject();
    if (obj && !obj->Is<T>()) RaiseInvalidObjectType();
    return std::unique_ptr<T>(static_cast<T*>(obj.release()));
  }

 private:
  TObjectStream& owner_;
};

/// Appends " (class ClassName version Version, record at byte Start)" to a
/// read error's message and makes that text its detail: how a failure inside
/// a record's payload names the record (ReadObject and the dumper use it).
void AddRecordContext(EReadError& E, std::string_view ClassName, std::uint16_t Version,
                      std::int64_t Start);

// --- Object stream ------------------------------------------------------------------

/// Writes and reads object records on a byte stream.
class TObjectStream : public TObject {
  CORVID_CLASS(TObjectStream, ::corvid::TObject)
 public:
  /// Works on Stream, destroying it with the object stream when OwnsStream.
  explicit TObjectStream(TStream* Stream, bool OwnsStream = true);
  /// Opens FileName as a TFileStream with Mode (fmOpenRead = 0 to read,
  /// fmCreate = 65535 to create or truncate for writing), owned.
  TObjectStream(const std::string& FileName, std::uint16_t Mode);
  ~TObjectStream() override;
  TObjectStream(const TObjectStream&) = delete;
  TObjectStream& operator=(const TObjectStream&) = delete;

  /// Writes one record for Obj (null allowed) at the byte stream's position.
  /// EClassNotRegistered (nothing written) when Obj's own class is not
  /// registered; a registered ancestor does not count.
  void WriteObject(const TObject* Obj);
  /// Reads one record at the position: a new object, or null for the nil
  /// marker. Afterwards the byte stream stands immediately after the record.
  /// An EReadError from a record's payload gets the record appended to its
  /// message and as its detail: "Invalid property value (class TContact
  /// version 1, record at byte 0)", the innermost failing record named.
  std::unique_ptr<TObject> ReadObject();
  /// Position 0.
  void Rewind();
  /// Position >= size.
  bool GetEndOfStream();

  TStream* Stream() const { return stream_; }
  bool GetOwnsStream() const { return ownsStream_; }
  void SetOwnsStream(bool Value) { ownsStream_ = Value; }
  /// Nesting level of the reads or writes in progress; 0 when idle.
  std::int32_t Depth() const { return depth_; }

 private:
  const TStreamableInterface* LookupForWrite(const TObject* Obj);
  const TStreamableInterface* LookupForRead(std::string_view Name);

  TStream* stream_ = nullptr;
  std::optional<TObjectWriter> writer_;
  std::optional<TObjectReader> reader_;
  std::int32_t depth_ = 0;
  bool ownsStream_ = true;

  /// Registrations are never removed while the process runs, so the stream
  /// remembers the last few it looked up and skips the locked registry
  /// look-up for classes it has seen.
  static constexpr int CacheSize = 8;
  std::array<const ClassInfo*, CacheSize> writeKeys_{};
  std::array<const TStreamableInterface*, CacheSize> writeHits_{};
  std::array<const TStreamableInterface*, CacheSize> readHits_{};
  const TStreamableInterface* lastRead_ = nullptr;  // the last class read
  int writeNext_ = 0;
  int readNext_ = 0;
  std::string name_;  // the class name being read
};

// --- Free routines -----------------------------------------------------------------

/// A deep copy: by the class's copy procedure when it has one (SetCopyProc),
/// otherwise through an object stream over a memory stream; null for null.
std::unique_ptr<TObject> CloneObj(const TObject* Obj);
/// CloneObj with the static type kept (the copy has Obj's own class).
template <class T>
std::unique_ptr<T> CloneObjAs(const T* Obj) {
  return std::unique_ptr<T>(static_cast<T*>(CloneObj(Obj).release()));
}
/// A 64-bit integer read back from a float value (how Comp members are
/// streamed): a whole number within the 64-bit range, else EReadError
/// "Invalid property value".
std::int64_t FloatToComp(long double Value);
/// True when A and B produce byte-identical records.
bool ObjectsEqual(const TObject* A, const TObject* B);
/// False when the sizes differ; otherwise compares the contents from
/// position 0 (two empty streams are equal).
bool StreamsEqual(TStream& S1, TStream& S2);
/// Writes one record to FileName, which is created, or replaced only once the
/// whole record is written (ReplaceFile). Buffered builds the record in
/// memory first and then writes the file in one go.
void WriteObjectToFile(const TObject* Obj, const std::string& FileName, bool Buffered);
/// Reads the first record of FileName. Buffered loads the whole file first.
std::unique_ptr<TObject> ReadObjectFromFile(const std::string& FileName, bool Buffered);

/// Payloads of the platform classes TBitmap, TIcon, TMetafile (the picture's
/// native data: a 64-bit byte count, then the bytes) and TMemoryStream (its
/// size as a 64-bit integer, then its content).
void ReadGraphic(TObject* Obj, TObjectReader& Reader);
void WriteGraphic(TObject* Obj, TObjectWriter& Writer);
void ReadMemoryStream(TObject* Obj, TObjectReader& Reader);
void WriteMemoryStream(TObject* Obj, TObjectWriter& Writer);

/// Runs the start-up registrations of the container, value and persistence
/// modules (once; later calls do nothing). It runs from a static initialiser
/// and whenever a registry is first used, so registrations are in place
/// however the library is linked.
void RegisterObjPerstStartup();

}  // namespace corvid
