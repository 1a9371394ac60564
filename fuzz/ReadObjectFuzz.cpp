// libFuzzer target: the object-stream reader over arbitrary bytes.
//
// Damaged input must raise the library's exceptions and nothing else: no
// crash, no leak, no sanitizer report, no other exception. Every object that
// was read must also write back and read again. The seed corpus is in
// fuzz/corpus/ReadObjectFuzz (valid records of every library class).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "corvid/persist/ObjPerst.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace corvid;
  TMemoryStream input;
  input.WriteBuffer(Data, static_cast<std::int64_t>(Size));
  input.SetPosition(0);
  TObjectStream stream(&input, false);
  while (!stream.GetEndOfStream()) {
    std::unique_ptr<TObject> obj;
    try {
      obj = stream.ReadObject();
    } catch (const Exception&) {
      return 0;
    }
    try {
      // What was read is well-formed: it writes back and reads again.
      std::unique_ptr<TObject> copy = CloneObj(obj.get());
      if ((obj == nullptr) != (copy == nullptr)) std::abort();
    } catch (const Exception& e) {
      std::fprintf(stderr, "an object read from a stream does not copy: %s: %s\n",
                   std::string(e.ClassName()).c_str(), e.Message().c_str());
      std::abort();
    }
  }
  return 0;
}
