// Reads a field record from arbitrary bytes (after a fixed record header)
// and uses every accessor. Damaged fields must raise, never read or write
// outside their buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "corvid/odb/OdbField.h"
#include "corvid/persist/ObjPerst.h"

using namespace corvid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  std::string rec("TPF0\x06\x09TOdbField\x01\x00", 17);
  rec.append(reinterpret_cast<const char*>(Data), Size);
  TMemoryStream mem;
  mem.Write(rec.data(), static_cast<std::int64_t>(rec.size()));
  mem.SetPosition(0);
  TObjectStream os(&mem, false);
  std::unique_ptr<TObject> obj;
  try {
    obj = os.ReadObject();
  } catch (const Exception&) {
    return 0;
  }
  auto* f = dynamic_cast<TOdbField*>(obj.get());
  if (f == nullptr) return 0;
  try {
    (void)f->GetAsString();
  } catch (const Exception&) {
  }
  try {
    (void)f->GetAsInteger();
  } catch (const Exception&) {
  }
  try {
    (void)f->GetAsFloat();
  } catch (const Exception&) {
  }
  try {
    f->SetAsString(std::string(300, 'x'));
  } catch (const Exception&) {
  }
  try {
    f->SetAsInteger(-1);
  } catch (const Exception&) {
  }
  try {
    f->SetAsFloat(0.5);
  } catch (const Exception&) {
  }
  try {
    (void)f->GetAsString();
  } catch (const Exception&) {
  }
  try {
    (void)FieldsEqual(*f, *f);
  } catch (const Exception&) {
  }
  try {
    (void)CloneObj(f);
  } catch (const Exception&) {
  }
  return 0;
}
