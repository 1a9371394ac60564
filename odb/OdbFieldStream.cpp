// Stream payload of a field and the start-up registrations of the module.
#include "corvid/odb/OdbField.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid {

void WriteOdbField(TObject* Obj, TObjectWriter& Writer) {
  const auto& field = dynamic_cast<const TOdbField&>(*Obj);
  Writer.WriteString(field.name_);
  Writer.WriteInteger(static_cast<std::int32_t>(field.fieldType_));
  Writer.WriteInteger(static_cast<std::int32_t>(field.size_));
  if (field.size_ > 0) Writer.Write(field.buffer_.get(), field.size_);
}

void ReadOdbField(TObject* Obj, TObjectReader& Reader) {
  auto& field = dynamic_cast<TOdbField&>(*Obj);
  std::string name = Reader.ReadString();
  const std::int32_t type = Reader.ReadInteger();
  const std::int32_t size = Reader.ReadInteger();
  // A type must fit its byte and a size its 16 bits; anything else is not a
  // field this library wrote. A type outside the four, or a size that does
  // not suit the type, is kept: the accessors refuse such a field safely.
  if (type < 0 || type > 0xFF || size < 0 || size > 0xFFFF) RaiseInvalidPropertyValue();
  auto buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(size));
  if (size > 0) Reader.Read(buffer.get(), size);
  field.name_ = std::move(name);
  field.fieldType_ = static_cast<TOdbFieldType>(type);
  field.size_ = static_cast<std::uint16_t>(size);
  field.buffer_ = std::move(buffer);
}

namespace {

const bool registered = [] {
  RegisterStreamable(TOdbField::StaticClass(), {&ReadOdbField}, {&WriteOdbField});
  RegisterCompareFunction("CompareOdbField", &CompareOdbField);
  return true;
}();

}  // namespace

}  // namespace corvid
