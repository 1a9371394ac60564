// Object records: framing, null objects, sequences of records, failures,
// nesting limits and the free routines built on the object stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "ExpectRaises.h"
#include "PersistTestSupport.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/Graphics.h"
#include "corvid/values/ObjBuckt.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

using test::Bytes;
using test::Content;
using test::Fill;
using test::Hex;
using test::ReadRecord;
using test::Record;
using test::TCounted;

class ObjectStream : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    live_ = TCounted::live;
  }
  void TearDown() override { EXPECT_EQ(TCounted::live, live_) << "objects leaked or lost"; }
  int live_ = 0;
};

// An object whose class reference is made at run time, for class names that
// C++ identifiers cannot spell.
class TNamed : public TObject {
 public:
  explicit TNamed(const ClassInfo* Info) : info_(Info) {}
  TClass ClassType() const override { return TClass(info_); }

 private:
  const ClassInfo* info_;
};

TObject* NewLongNamed();
TObject* NewAccentNamed();

const ClassInfo& LongInfo() {
  static const std::string name = "T" + std::string(299, 'L');
  static const ClassInfo info{name.c_str(), &TObject::StaticClass, &NewLongNamed, &NewLongNamed};
  return info;
}
const ClassInfo& AccentInfo() {
  static const ClassInfo info{"TCaf\xE9", &TObject::StaticClass, &NewAccentNamed, &NewAccentNamed};
  return info;
}
TObject* NewLongNamed() {
  return new TNamed(&LongInfo());
}
TObject* NewAccentNamed() {
  return new TNamed(&AccentInfo());
}
void ReadNothing(TObject*, TObjectReader&) {}
void WriteNothing(TObject*, TObjectWriter&) {}

TEST_F(ObjectStream, NullObjectIsSeventeenBytes) {
  const std::string rec = Record(nullptr);
  EXPECT_EQ(Hex(rec), "54 50 46 30 06 0B 2A 4E 69 6C 4F 62 6A 65 63 74 2A");
  EXPECT_EQ(ReadRecord(rec), nullptr);
}

TEST_F(ObjectStream, EmptyUnorderedListRecord) {
  TUnorderedList list(TIntegerBucket::StaticClass(), CompareIntegerBucket);
  const std::string expected = Bytes()
                                   .Sig()
                                   .Byte(0x06)
                                   .Byte(0x0E)
                                   .Raw("TUnorderedList")
                                   .Byte(0x01)
                                   .Byte(0x00)
                                   .Byte(0x06)
                                   .Byte(0x0E)
                                   .Raw("TIntegerBucket")
                                   .Byte(0x06)
                                   .Byte(0x14)
                                   .Raw("CompareIntegerBucket")
                                   .Byte(0x02)
                                   .Byte(0x00);
  EXPECT_EQ(Hex(Record(&list)), Hex(expected));
  auto back = ReadRecord(expected);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->ClassType(), TUnorderedList::StaticClass());
  auto* l = static_cast<TUnorderedList*>(back.get());
  EXPECT_EQ(l->GetSize(), 0);
  EXPECT_EQ(l->ObjClass(), TIntegerBucket::StaticClass());
  EXPECT_EQ(l->CompareFunc(), CompareIntegerBucket);
}

TEST_F(ObjectStream, ListOfThreeHoldsThreeCompleteChildRecords) {
  TUnorderedList list(TCounted::StaticClass(), CompareEqual);
  for (int v : {1, 200, -300}) list.Insert(new TCounted(v));
  const std::string expected = Bytes()
                                   .Head("TUnorderedList")
                                   .Container("TCounted", "CompareEqual")
                                   .Int(3)
                                   .Head("TCounted")
                                   .Int(1)
                                   .Head("TCounted")
                                   .Int(200)
                                   .Head("TCounted")
                                   .Int(-300);
  EXPECT_EQ(Hex(Record(&list)), Hex(expected));
  // The cursor is left on the last object.
  EXPECT_EQ(static_cast<TCounted*>(list.GetCurrentObj())->value, -300);
  auto back = ReadRecord(expected);
  std::vector<int> values;
  for (TObject* o : *static_cast<TUnorderedList*>(back.get()))
    values.push_back(static_cast<TCounted*>(o)->value);
  EXPECT_EQ(values, (std::vector<int>{1, 200, -300}));
}

TEST_F(ObjectStream, RecordsAreReadOneAfterAnother) {
  TMemoryStream m;
  TObjectStream s(&m, false);
  TCounted a(1);
  TIntegerBucket b(1000);
  s.WriteObject(&a);
  s.WriteObject(nullptr);
  s.WriteObject(&b);
  EXPECT_TRUE(s.GetEndOfStream());
  s.Rewind();
  EXPECT_FALSE(s.GetEndOfStream());
  auto r1 = s.ReadObject();
  // The reader read ahead, but gave back what it did not use.
  EXPECT_EQ(m.GetPosition(), static_cast<std::int64_t>(Record(&a).size()));
  auto r2 = s.ReadObject();
  EXPECT_FALSE(s.GetEndOfStream());
  auto r3 = s.ReadObject();
  EXPECT_TRUE(s.GetEndOfStream());
  EXPECT_EQ(static_cast<TCounted*>(r1.get())->value, 1);
  EXPECT_EQ(r2, nullptr);
  EXPECT_EQ(static_cast<TIntegerBucket*>(r3.get())->GetInteger(), 1000);
  EXPECT_EQ(s.Depth(), 0);
}

TEST_F(ObjectStream, LongAndNonAsciiClassNames) {
  SetSystemCodePage(cpWindows1252);
  RegisterStreamable(TClass(&LongInfo()), {ReadNothing}, {WriteNothing});
  RegisterStreamable(TClass(&AccentInfo()), {ReadNothing}, {WriteNothing});
  TNamed longNamed(&LongInfo());
  const std::string longRec = Record(&longNamed);
  EXPECT_EQ(Hex(longRec.substr(4, 5)), "0C 2C 01 00 00");  // 300 characters
  EXPECT_EQ(ReadRecord(longRec)->ClassName(), LongInfo().name);

  TNamed accent(&AccentInfo());
  const std::string accentRec = Record(&accent);
  EXPECT_EQ(Hex(accentRec), Hex(Bytes().Sig().Byte(0x14).U32(6).Raw("TCaf\xC3\xA9").Word(1)));
  EXPECT_EQ(ReadRecord(accentRec)->ClassName(), "TCaf\xE9");
}

TEST_F(ObjectStream, OnlyTheObjectsOwnClassCounts) {
  // TCountedChild is not registered, its parent is.
  test::TCountedChild child(5);
  TMemoryStream m;
  TObjectStream s(&m, false);
  TCounted first(1);
  s.WriteObject(&first);
  const std::string before = Content(m);
  ExpectRaises<EClassNotRegistered>([&] { s.WriteObject(&child); },
                                    ::testing::Eq("Class not registered : TCountedChild"));
  EXPECT_EQ(Content(m), before);
  EXPECT_EQ(s.Depth(), 0);
  // The stream is usable afterwards.
  s.WriteObject(&first);
  EXPECT_EQ(Content(m), before + before);
}

TEST_F(ObjectStream, CloneAndObjectsEqual) {
  TUnorderedList list(TCounted::StaticClass(), CompareEqual);
  for (int v : {3, 4}) list.Insert(new TCounted(v));
  auto copy = CloneObjAs(&list);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), &list);
  EXPECT_EQ(copy->GetSize(), 2);
  EXPECT_TRUE(ObjectsEqual(&list, copy.get()));
  static_cast<TCounted*>(copy->GetNthObj(2))->value = 5;
  EXPECT_FALSE(ObjectsEqual(&list, copy.get()));
  EXPECT_EQ(CloneObj(nullptr), nullptr);
  EXPECT_TRUE(ObjectsEqual(nullptr, nullptr));
  EXPECT_FALSE(ObjectsEqual(&list, nullptr));
}

// Counts reads, to show that StreamsEqual of different sizes reads nothing.
class TCountingStream : public TMemoryStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    ++reads;
    return TMemoryStream::Read(Buffer, Count);
  }
  int reads = 0;
};

TEST_F(ObjectStream, StreamsEqual) {
  TCountingStream a;
  TCountingStream b;
  EXPECT_TRUE(StreamsEqual(a, b));
  a.WriteBuffer("abc", 3);
  b.WriteBuffer("abcd", 4);
  EXPECT_FALSE(StreamsEqual(a, b));
  EXPECT_EQ(a.reads + b.reads, 0);
  b.SetSize(3);
  EXPECT_TRUE(StreamsEqual(a, b));
  b.SetPosition(2);
  b.WriteBuffer("X", 1);
  EXPECT_FALSE(StreamsEqual(a, b));
  // Large contents are compared completely.
  std::string big(10000, 'a');
  TMemoryStream c;
  TMemoryStream d;
  c.WriteBuffer(big.data(), 10000);
  big[9999] = 'b';
  d.WriteBuffer(big.data(), 10000);
  EXPECT_FALSE(StreamsEqual(c, d));
}

TEST_F(ObjectStream, DamagedRecordsRaiseReadErrors) {
  const std::string good = Record(nullptr);
  auto message = [](const std::string& data) -> std::string {
    try {
      ReadRecord(data);
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
    return "no error";
  };
  EXPECT_EQ(message("TPF1" + good.substr(4)), "EReadError: Invalid stream format");
  EXPECT_EQ(message(Bytes().Sig().Byte(0x07).Byte(1).Raw("x")),
            "EReadError: Invalid property value");
  EXPECT_EQ(message(good.substr(0, 10)), "EReadError: Stream read error");
  EXPECT_EQ(message(""), "EReadError: Stream read error");
  EXPECT_EQ(message(Bytes().Head("TNoSuchClass").Int(1)),
            "EClassNotRegistered: Class not registered : TNoSuchClass");
  EXPECT_EQ(message(Bytes().Sig().Str("TCounted").Byte(1)), "EReadError: Stream read error");
  // A bad value inside a payload names the record: class, version, offset.
  EXPECT_EQ(message(Bytes().Head("TCounted").Byte(0x07)),
            "EReadError: Invalid property value (class TCounted version 1, record at byte 0)");
  EXPECT_EQ(message(Bytes().Head("TCounted", 2).Int(1)),
            "EClassVersionNotRegistered: Class version not registered");
  // A list that fails on its third object frees the two already read.
  EXPECT_EQ(message(Bytes()
                        .Head("TUnorderedList")
                        .Container("TCounted", "CompareEqual")
                        .Int(3)
                        .Head("TCounted")
                        .Int(1)
                        .Head("TCounted")
                        .Int(2)
                        .Head("TCounted")),
            "EReadError: Stream read error (class TCounted version 1, record at byte 84)");
}

TEST_F(ObjectStream, PositionAfterAFailedReadIsAfterTheLastByteConsumed) {
  TMemoryStream m;
  Fill(m, Bytes().Head("TNoSuchClass").Int(1).Raw(std::string(5000, 'x')));
  TObjectStream s(&m, false);
  EXPECT_THROW(s.ReadObject(), EClassNotRegistered);
  EXPECT_EQ(m.GetPosition(), 4 + 2 + 12 + 2);
  EXPECT_EQ(s.Depth(), 0);
}

// Nested lists: Levels records, each list holding the next.
std::string NestedLists(int Levels) {
  std::string head = Bytes().Head("TUnorderedList").Container("TUnorderedList", "CompareEqual");
  std::string inner = Bytes().Head("TUnorderedList").Container("TCounted", "CompareEqual").Int(0);
  std::string out;
  out.reserve(static_cast<std::size_t>(Levels) * (head.size() + 2) + inner.size());
  for (int i = 1; i < Levels; ++i) out.append(head).append("\x02\x01", 2);
  return out + inner;
}

TEST_F(ObjectStream, NestingIsLimited) {
  auto deepest = ReadRecord(NestedLists(MaxObjectDepth));
  ASSERT_NE(deepest, nullptr);
  // The deepest list, whose child could not be read, is named.
  ExpectRaises<EReadError>([&] { ReadRecord(NestedLists(MaxObjectDepth + 1)); },
                           ::testing::StartsWith("Objects nested too deeply (class TUnorderedList "
                                                 "version 1, record at byte "));
  EXPECT_THROW(ReadRecord(NestedLists(1000000)), EReadError);

  // The deepest readable structure can be written again; one level more
  // cannot.
  EXPECT_EQ(Record(deepest.get()), NestedLists(MaxObjectDepth));
  auto outer = std::make_unique<TUnorderedList>(TUnorderedList::StaticClass(), CompareEqual);
  outer->Insert(deepest.release());
  ExpectRaises<EWriteError>([&] { Record(outer.get()); },
                            ::testing::Eq("Objects nested too deeply"));
}

TEST_F(ObjectStream, AStructureThatContainsItselfCannotBeWritten) {
  TStringCombo combo("loop");
  combo.OwnsObj = false;
  combo.Obj = &combo;
  TMemoryStream m;
  TObjectStream s(&m, false);
  EXPECT_THROW(s.WriteObject(&combo), EWriteError);
  EXPECT_EQ(s.Depth(), 0);
  // What was produced stays in the byte stream.
  EXPECT_GT(m.GetSize(), 0);
}

// A class whose procedures start a read on a writing stream and a write on
// a reading one.
class TReentrant : public TObject {
  CORVID_CLASS(TReentrant, ::corvid::TObject)
};
void ReadReentrant(TObject*, TObjectReader& Reader) {
  TCounted c;
  Reader.ObjectStream().WriteObject(&c);
}
void WriteReentrant(TObject*, TObjectWriter& Writer) {
  Writer.ObjectStream().ReadObject();
}

TEST_F(ObjectStream, ReadingInsideAWriteAndWritingInsideAReadAreRefused) {
  RegisterStreamable(TReentrant::StaticClass(), {ReadReentrant}, {WriteReentrant});
  TReentrant r;
  EXPECT_THROW(Record(&r), EReadError);
  EXPECT_THROW(ReadRecord(Bytes().Head("TReentrant")), EWriteError);
}

TEST_F(ObjectStream, FunctionsThatDoNotFitTheObjectsAreATypeError) {
  // An ordered list of TBucket ordered by CompareIntegerBucket holding plain
  // buckets: the compare function's checked cast fails while re-sorting.
  const std::string data = Bytes()
                               .Head("TOrderedList")
                               .Container("TBucket", "CompareIntegerBucket")
                               .Int(2)
                               .Head("TBucket")
                               .Int(0)
                               .Head("TBucket")
                               .Int(0);
  EXPECT_THROW(ReadRecord(data), EInvalidObjectType);
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("corvid_h3_os_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

TEST_F(ObjectStream, FilesBufferedAndDirect) {
  TUnorderedList list(TCounted::StaticClass(), CompareEqual);
  list.Insert(new TCounted(42));
  const std::string expected = Record(&list);
  for (bool buffered : {true, false}) {
    const std::string path = TempPath(buffered ? "b.obj" : "d.obj");
    WriteObjectToFile(&list, path, buffered);
    TMemoryStream m;
    m.LoadFromFile(path);
    EXPECT_EQ(Content(m), expected);
    for (bool bufferedRead : {true, false}) {
      auto back = ReadObjectFromFile(path, bufferedRead);
      EXPECT_TRUE(ObjectsEqual(back.get(), &list));
    }
    std::filesystem::remove(path);
    EXPECT_THROW(ReadObjectFromFile(path, buffered), EFOpenError);
  }
  // The file constructor of the object stream with the numeric modes.
  const std::string path = TempPath("modes.obj");
  {
    TObjectStream out(path, 65535);
    out.WriteObject(&list);
    out.WriteObject(nullptr);
  }
  TObjectStream in(path, 0);
  auto first = in.ReadObject();
  EXPECT_EQ(in.ReadObject(), nullptr);
  EXPECT_TRUE(in.GetEndOfStream());
  std::filesystem::remove(path);
}

TEST_F(ObjectStream, PicturesAndMemoryStreams) {
  TBitmap bitmap;
  bitmap.SetData("BM\x01\x02");
  EXPECT_EQ(Hex(Record(&bitmap)), Hex(Bytes().Head("TBitmap").Int(4).Raw("BM\x01\x02")));
  for (TGraphic* g : {static_cast<TGraphic*>(&bitmap), static_cast<TGraphic*>(new TIcon),
                      static_cast<TGraphic*>(new TMetafile)}) {
    if (g != &bitmap) g->SetData(std::string(5000, '\xAB'));
    auto back = CloneObj(g);
    ASSERT_EQ(back->ClassType(), g->ClassType());
    EXPECT_EQ(static_cast<TGraphic*>(back.get())->Data(), g->Data());
    if (g != &bitmap) delete g;
  }

  TMemoryStream content;
  content.WriteBuffer("payload", 7);
  EXPECT_EQ(Hex(Record(&content)), Hex(Bytes().Head("TMemoryStream").Int(7).Raw("payload")));
  EXPECT_EQ(content.GetPosition(), 0);
  auto back = CloneObj(&content);
  auto* m = static_cast<TMemoryStream*>(back.get());
  EXPECT_EQ(Content(*m), "payload");
  EXPECT_EQ(m->GetPosition(), 0);
  TMemoryStream empty;
  EXPECT_EQ(Content(*static_cast<TMemoryStream*>(CloneObj(&empty).get())), "");

  // A 64-bit size larger than the rest of the stream fails before
  // allocating.
  EXPECT_THROW(ReadRecord(Bytes().Head("TMemoryStream").Byte(0x13).U32(0).U32(0x100).Raw("xx")),
               EReadError);
  EXPECT_THROW(ReadRecord(Bytes().Head("TIcon").Int(-1)), EReadError);
}

}  // namespace
}  // namespace corvid
