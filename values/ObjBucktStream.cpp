// Stream payloads of the buckets (the size as an integer value, then the
// block's bytes) and of the string combo (the string, whether there is an
// object, then the object as a nested record).
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

void WriteBucket(TObject* Obj, TObjectWriter& Writer) {
  const TBucket& bucket = PayloadCast<TBucket>(Obj);
  Writer.WriteInteger(static_cast<std::int32_t>(bucket.size_));
  Writer.Write(bucket.data_.get(), bucket.size_);
}

void ReadBucket(TObject* Obj, TObjectReader& Reader) {
  TBucket& bucket = PayloadCast<TBucket>(Obj);
  // The low 16 bits are the size.
  const auto size = static_cast<std::uint16_t>(Reader.ReadInteger());
  Reader.CheckAvailable(size);
  bucket.Allocate(size);
  Reader.Read(bucket.Block(), size);
}

void WriteStringCombo(TObject* Obj, TObjectWriter& Writer) {
  const TStringCombo& combo = PayloadCast<TStringCombo>(Obj);
  Writer.WriteString(combo.Str);
  Writer.WriteBoolean(combo.Obj != nullptr);
  if (combo.Obj != nullptr) Writer.WriteChildObject(combo.Obj);
}

void ReadStringCombo(TObject* Obj, TObjectReader& Reader) {
  TStringCombo& combo = PayloadCast<TStringCombo>(Obj);
  Reader.ReadString(combo.Str);
  // Until the object is in place the combo owns nothing, so a failing read
  // leaves nothing to free twice.
  combo.Obj = Reader.ReadBoolean() ? Reader.ReadChildObject().release() : nullptr;
  // OwnsObj is not stored: a combo read from a stream owns its object.
  combo.OwnsObj = true;
}

}  // namespace corvid
