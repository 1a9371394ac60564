// The dump of object-stream data (the core of corvid-dump).
#include <gtest/gtest.h>

#include <sstream>

#include "PersistTestSupport.h"
#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerstDump.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

using test::Bytes;

std::string Dump(const std::string& Data, std::string* Error = nullptr) {
  TMemoryStream m;
  test::Fill(m, Data);
  std::ostringstream out;
  try {
    DumpObjectStream(m, out);
  } catch (const Exception& e) {
    if (Error == nullptr) throw;
    *Error = std::string(e.ClassName()) + ": " + e.Message();
  }
  return out.str();
}

TEST(Dump, TreeOfEveryRecordInTheStream) {
  TArray a(TStringCombo::StaticClass(), CompareStringCombo, 4, 0);
  a.Insert(new TStringCombo("caf\xE9\n", new TExtendedBucket(0.5L)));
  a.Insert(new TStringCombo("b"));
  TCharBucket c('"');
  const std::string data = test::Record(&a) + test::Record(nullptr) + test::Record(&c);
  EXPECT_EQ(Dump(data),
            "TArray v1\n"
            "  ObjClass: \"TStringCombo\"\n"
            "  CompareFunc: \"CompareStringCombo\"\n"
            "  Count: 2\n"
            "  Capacity: 4\n"
            "  Delta: 0\n"
            "  Sorted: false\n"
            "  [1] TStringCombo v1\n"
            "    Str: \"caf\xC3\xA9\\x0A\"\n"
            "    Obj: TExtendedBucket v1\n"
            "      Size: 10\n"
            "      Value: 0.5\n"
            "  [2] TStringCombo v1\n"
            "    Str: \"b\"\n"
            "    Obj: none\n"
            "nil\n"
            "TCharBucket v1\n"
            "  Size: 1\n"
            "  Value: 34 \"\\\"\"\n");
}

TEST(Dump, BucketsOfAnUnexpectedSizeShowTheirBytes) {
  EXPECT_EQ(Dump(Bytes().Head("TIntegerBucket").Int(2).Raw("\xAB\xCD")),
            "TIntegerBucket v1\n  Size: 2\n  Bytes: AB CD\n");
}

TEST(Dump, UnknownPayloadsAreShownByTheirTagsDamageStops) {
  // Two shapes in a list: the first one's values run to the end of the
  // data, the second shape and its bucket included; the list's second
  // element is not then reported missing.
  std::string error = "none";
  const std::string out = Dump(Bytes()
                                   .Head("TUnorderedList")
                                   .Container("TShape", "CompareShape")
                                   .Int(2)
                                   .Head("TShape", 2)
                                   .Str("circle")
                                   .Int(-300)
                                   .Bool(true)
                                   .Head("TShape")
                                   .Head("TIntegerBucket")
                                   .Int(4)
                                   .Raw(std::string("\x07\0\0\0", 4))
                                   .Byte(0x01)
                                   .Raw("xy"),
                               &error);
  EXPECT_EQ(out,
            "TUnorderedList v1\n  ObjClass: \"TShape\"\n  CompareFunc: \"CompareShape\"\n"
            "  Count: 2\n  [1] TShape v2\n"
            "    (payload not known to the dumper: its values by their tags, to the end)\n"
            "    String: \"circle\"\n    Integer: -300\n    Boolean: true\n    TShape v1\n"
            "      (payload not known to the dumper: its values by their tags, to the end)\n"
            "      TIntegerBucket v1\n        Size: 4\n        Value: 7\n      Bytes: 01 78 79\n");
  EXPECT_EQ(error, "none");
  // A library class in a version the library never wrote is shown the same way.
  EXPECT_EQ(Dump(Bytes().Head("TStack", 2).Int(5)),
            "TStack v2\n  (payload not known to the dumper: its values by their tags, to the "
            "end)\n  Integer: 5\n");
  // Damage inside a payload names the record, as the object stream does.
  Dump(Bytes().Head("TShape").Str("a").Byte(0x54).Raw("PF1"), &error);
  EXPECT_EQ(error, "EReadError: Invalid stream format (class TShape version 1, record at byte 0)");
  Dump(Bytes().Nil().Head("TBitmap").Int(100).Raw("short"), &error);
  EXPECT_EQ(error, "EReadError: Stream read error (class TBitmap version 1, record at byte 17)");
  Dump("TPF1", &error);
  EXPECT_EQ(error, "EReadError: Invalid stream format");
}

TEST(Dump, NestingIsLimited) {
  std::string data;
  for (int i = 0; i < MaxObjectDepth + 1; ++i)
    data += Bytes().Head("TStringCombo").Str("").Bool(true).str();
  std::string error;
  Dump(data, &error);
  // The deepest record read, the 1000th of 23 bytes each, is named.
  EXPECT_EQ(error,
            "EReadError: Objects nested too deeply (class TStringCombo version 1, record at byte "
            "22977)");
}

void DumpShape(TReader& Reader, TObjectDumper& Dumper, std::string_view Class, int Indent) {
  Dumper.Field(Indent, "Sides", std::to_string(Reader.ReadInteger()));
  Dumper.Field(Indent, "Class", Class);
}

TEST(Dump, ApplicationsAddDecoders) {
  RegisterDumpPayload("TDumpShape", DumpShape);
  EXPECT_EQ(Dump(Bytes().Head("TDumpShape").Int(5)),
            "TDumpShape v1\n  Sides: 5\n  Class: TDumpShape\n");
}

}  // namespace
}  // namespace corvid
