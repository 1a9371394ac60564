#include "PersistTestSupport.h"

#include <cstdio>

namespace corvid::test {

std::string Hex(std::string_view s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string Record(const TObject* Obj) {
  TMemoryStream m;
  TObjectStream s(&m, false);
  s.WriteObject(Obj);
  return Content(m);
}

std::unique_ptr<TObject> ReadRecord(std::string_view Data) {
  TMemoryStream m;
  Fill(m, Data);
  TObjectStream s(&m, false);
  return s.ReadObject();
}

void ReadCounted(TObject* Obj, TObjectReader& Reader) {
  static_cast<TCounted*>(Obj)->value = Reader.ReadInteger();
}

void WriteCounted(TObject* Obj, TObjectWriter& Writer) {
  Writer.WriteInteger(static_cast<TCounted*>(Obj)->value);
}

void RegisterTestClasses() {
  static const bool once = [] {
    RegisterStreamable(TCounted::StaticClass(), {ReadCounted}, {WriteCounted});
    return true;
  }();
  (void)once;
}

}  // namespace corvid::test
