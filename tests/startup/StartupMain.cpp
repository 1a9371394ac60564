// Checks, without referencing any container or value module, that every
// start-up registration is in place and that a record of a registered class
// can be read and written back.
#include <cstdio>
#include <string>

#include "corvid/persist/ObjPerst.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    ++failures;
  }
}

}  // namespace

int main() {
  using namespace corvid;
  for (const char* name :
       {"TOrderedList",    "TUnorderedList",  "TCircularList", "TStack",          "TArray",
        "THashTable",      "TStringCombo",    "TBucket",       "TShortIntBucket", "TIntegerBucket",
        "TLongIntBucket",  "TByteBucket",     "TWordBucket",   "TCharBucket",     "TBooleanBucket",
        "TWordBoolBucket", "TLongBoolBucket", "TRealBucket",   "TDateTimeBucket", "TSingleBucket",
        "TDoubleBucket",   "TExtendedBucket", "TCompBucket",   "TBitmap",         "TIcon",
        "TMetafile",       "TMemoryStream"}) {
    const TStreamableInterface* e = FindStreamableInterface(name);
    Check(e != nullptr && e->Class().Name() == name, std::string("class ") + name);
  }
  for (const char* name : {"CompareEqual",
                           "CompareLess",
                           "CompareGreater",
                           "CompareStringCombo",
                           "CompareStringComboNoCase",
                           "CompareShortIntBucket",
                           "CompareIntegerBucket",
                           "CompareLongIntBucket",
                           "CompareByteBucket",
                           "CompareWordBucket",
                           "CompareCharBucket",
                           "CompareBooleanBucket",
                           "CompareWordBoolBucket",
                           "CompareLongBoolBucket",
                           "CompareRealBucket",
                           "CompareDateTimeBucket",
                           "CompareSingleBucket",
                           "CompareDoubleBucket",
                           "CompareExtendedBucket",
                           "CompareCompBucket"}) {
    try {
      Check(GetCompareFuncName(GetCompareFunc(name)) == name, std::string("compare ") + name);
    } catch (const Exception& e) {
      Check(false, std::string("compare ") + name + ": " + e.Message());
    }
  }
  for (const char* name :
       {"HashStringCombo", "HashStringCombo2", "HashShortIntBucket", "HashIntegerBucket",
        "HashLongIntBucket", "HashByteBucket", "HashWordBucket", "HashCharBucket", "HashRealBucket",
        "HashDateTimeBucket", "HashSingleBucket", "HashDoubleBucket", "HashExtendedBucket",
        "HashCompBucket"}) {
    try {
      Check(GetHashFuncName(GetHashFunc(name)) == name, std::string("hash ") + name);
    } catch (const Exception& e) {
      Check(false, std::string("hash ") + name + ": " + e.Message());
    }
  }

  // A list of one integer bucket, read and written back byte for byte.
  const std::string record = std::string("TPF0\x06\x0ETUnorderedList\x01\x00", 22) +
                             "\x06\x0ETIntegerBucket\x06\x14"
                             "CompareIntegerBucket" +
                             std::string("\x02\x01TPF0\x06\x0ETIntegerBucket\x01\x00", 24) +
                             std::string("\x02\x04\xE8\x03\x00\x00", 6);
  try {
    TMemoryStream in;
    in.WriteBuffer(record.data(), static_cast<std::int64_t>(record.size()));
    in.SetPosition(0);
    TObjectStream reader(&in, false);
    std::unique_ptr<TObject> list = reader.ReadObject();
    Check(list && list->ClassName() == "TUnorderedList", "read a list");
    TMemoryStream out;
    TObjectStream writer(&out, false);
    writer.WriteObject(list.get());
    Check(out.View() == record, "write the list back");
  } catch (const Exception& e) {
    Check(false, "stream: " + e.Message());
  }

  if (failures == 0) std::puts("all start-up registrations present");
  return failures == 0 ? 0 : 1;
}
