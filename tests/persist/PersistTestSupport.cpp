#include "PersistTestSupport.h"

#include <malloc.h>

#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVID_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define CORVID_TEST_ASAN 1
#endif
#ifdef CORVID_TEST_ASAN
// From the sanitizer runtime (declared here: not every compiler ships the
// header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

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

std::size_t AllocatedBytes() {
#ifdef CORVID_TEST_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
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
