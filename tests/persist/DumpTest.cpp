// The dump of object-stream data (the core of corvid-dump).
#include <gtest/gtest.h>

#include <sstream>

#include "PersistTestSupport.h"
#include "containers/ObjArray.h"
#include "containers/ObjList.h"
#include "persist/ObjPerstDump.h"
#include "values/ObjBuckt.h"

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

TEST(Dump, StopsAtAnUnknownPayloadAndOnDamage) {
  std::string error;
  const std::string out =
      Dump(Bytes().Head("TUnorderedList").Container("TShape", "CompareShape").Int(2).Head("TShape"),
           &error);
  EXPECT_EQ(out,
            "TUnorderedList v1\n  ObjClass: \"TShape\"\n  CompareFunc: \"CompareShape\"\n"
            "  Count: 2\n  [1] TShape v1\n");
  EXPECT_EQ(error,
            "EDumpError: Cannot decode the payload of TShape version 1: not a library class "
            "payload; the dump stops here");
  // A library class in a version the library never wrote.
  Dump(Bytes().Head("TStack", 2), &error);
  EXPECT_EQ(error.substr(0, 49), "EDumpError: Cannot decode the payload of TStack v");
  Dump(Bytes().Head("TBitmap").Int(100).Raw("short"), &error);
  EXPECT_EQ(error, "EReadError: Stream read error");
  Dump("TPF1", &error);
  EXPECT_EQ(error, "EReadError: Invalid stream format");
}

TEST(Dump, NestingIsLimited) {
  std::string data;
  for (int i = 0; i < MaxObjectDepth + 1; ++i)
    data += Bytes().Head("TStringCombo").Str("").Bool(true).str();
  std::string error;
  Dump(data, &error);
  EXPECT_EQ(error, "EReadError: Objects nested too deeply");
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
