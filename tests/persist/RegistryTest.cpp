// The streamable-class, compare-function and hash-function registries and
// the start-up registrations.
#include <gtest/gtest.h>

#include "ExpectRaises.h"
#include "PersistTestSupport.h"
#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjHash.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjStack.h"
#include "corvid/persist/Graphics.h"
#include "corvid/values/ObjBuckt.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

using test::Hex;

// A class with two versions of its procedures.
class TVersioned : public TObject {
  CORVID_CLASS(TVersioned, ::corvid::TObject)
 public:
  std::int32_t a = 0;
  std::int32_t b = 0;
};

void ReadVersioned1(TObject* Obj, TObjectReader& Reader) {
  static_cast<TVersioned*>(Obj)->a = Reader.ReadInteger();
}
void WriteVersioned1(TObject* Obj, TObjectWriter& Writer) {
  Writer.WriteInteger(static_cast<TVersioned*>(Obj)->a);
}
void ReadVersioned2(TObject* Obj, TObjectReader& Reader) {
  ReadVersioned1(Obj, Reader);
  static_cast<TVersioned*>(Obj)->b = Reader.ReadInteger();
}
void WriteVersioned2(TObject* Obj, TObjectWriter& Writer) {
  WriteVersioned1(Obj, Writer);
  Writer.WriteInteger(static_cast<TVersioned*>(Obj)->b);
}

// Written with a newer version than it can read.
class TAhead : public TObject {
  CORVID_CLASS(TAhead, ::corvid::TObject)
};
void ReadAhead(TObject*, TObjectReader&) {}
void WriteAhead1(TObject*, TObjectWriter&) {}
void WriteAhead2(TObject*, TObjectWriter& Writer) {
  Writer.WriteBoolean(true);
}

// Counts the copies its copy procedure makes (not part of the image).
class TCopied : public TObject {
  CORVID_CLASS(TCopied, ::corvid::TObject)
 public:
  std::int32_t Value = 0;
  bool ByProc = false;
};
class TCopiedChild : public TCopied {
  CORVID_CLASS(TCopiedChild, ::corvid::TCopied)
};
class TNeverRegistered : public TObject {
  CORVID_CLASS(TNeverRegistered, ::corvid::TObject)
};
void ReadCopied(TObject* Obj, TObjectReader& Reader) {
  static_cast<TCopied*>(Obj)->Value = Reader.ReadInteger();
}
void WriteCopied(TObject* Obj, TObjectWriter& Writer) {
  Writer.WriteInteger(static_cast<TCopied*>(Obj)->Value);
}
void CopyCopied(const TObject* Source, TObject* Dest) {
  static_cast<TCopied*>(Dest)->Value = static_cast<const TCopied*>(Source)->Value;
  static_cast<TCopied*>(Dest)->ByProc = true;
}

TComparison CompareA(const TObject*, const TObject*) {
  return cmpEqual;
}
TComparison CompareB(const TObject*, const TObject*) {
  return cmpLess;
}
std::int32_t HashA(const TObject*, std::int32_t) {
  return 1;
}

TEST(StartupRegistrations, EveryLibraryClassAndFunctionIsRegistered) {
  for (const char* name :
       {"TOrderedList",    "TUnorderedList",  "TCircularList", "TStack",          "TArray",
        "THashTable",      "TStringCombo",    "TBucket",       "TShortIntBucket", "TIntegerBucket",
        "TLongIntBucket",  "TByteBucket",     "TWordBucket",   "TCharBucket",     "TBooleanBucket",
        "TWordBoolBucket", "TLongBoolBucket", "TRealBucket",   "TDateTimeBucket", "TSingleBucket",
        "TDoubleBucket",   "TExtendedBucket", "TCompBucket",   "TBitmap",         "TIcon",
        "TMetafile",       "TMemoryStream"}) {
    const TClass c = GetRegisteredClass(name);
    EXPECT_EQ(c.Name(), name);
    const TStreamableInterface* e = FindStreamableInterface(name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ReadProcCount(), 1) << name;
    EXPECT_EQ(e->WriteProcCount(), 1) << name;
    EXPECT_EQ(e->GetDefaultWriteVersion(), 1) << name;
    // A blank instance of every registered class can be made and freed.
    EXPECT_NE(e->BlankInstance(), nullptr) << name;
  }
  EXPECT_EQ(GetRegisteredClass("TStack"), TStack::StaticClass());
  EXPECT_EQ(GetRegisteredClass("TBitmap"), TBitmap::StaticClass());
  EXPECT_THROW(GetRegisteredClass("TCurrencyBucket"), EClassNotRegistered);

  const std::pair<const char*, TCompareFunc> compares[] = {
      {"CompareEqual", CompareEqual},
      {"CompareLess", CompareLess},
      {"CompareGreater", CompareGreater},
      {"CompareStringCombo", CompareStringCombo},
      {"CompareStringComboNoCase", CompareStringComboNoCase},
      {"CompareShortIntBucket", CompareShortIntBucket},
      {"CompareIntegerBucket", CompareIntegerBucket},
      {"CompareLongIntBucket", CompareLongIntBucket},
      {"CompareByteBucket", CompareByteBucket},
      {"CompareWordBucket", CompareWordBucket},
      {"CompareCharBucket", CompareCharBucket},
      {"CompareBooleanBucket", CompareBooleanBucket},
      {"CompareWordBoolBucket", CompareWordBoolBucket},
      {"CompareLongBoolBucket", CompareLongBoolBucket},
      {"CompareRealBucket", CompareRealBucket},
      {"CompareDateTimeBucket", CompareDateTimeBucket},
      {"CompareSingleBucket", CompareSingleBucket},
      {"CompareDoubleBucket", CompareDoubleBucket},
      {"CompareExtendedBucket", CompareExtendedBucket},
      {"CompareCompBucket", CompareCompBucket}};
  for (const auto& [name, func] : compares) {
    EXPECT_EQ(GetCompareFunc(name), func) << name;
    EXPECT_EQ(GetCompareFuncName(func), name);
  }
  const std::pair<const char*, THashFunc> hashes[] = {
      {"HashStringCombo", HashStringCombo},       {"HashStringCombo2", HashStringCombo2},
      {"HashShortIntBucket", HashShortIntBucket}, {"HashIntegerBucket", HashIntegerBucket},
      {"HashLongIntBucket", HashLongIntBucket},   {"HashByteBucket", HashByteBucket},
      {"HashWordBucket", HashWordBucket},         {"HashCharBucket", HashCharBucket},
      {"HashRealBucket", HashRealBucket},         {"HashDateTimeBucket", HashDateTimeBucket},
      {"HashSingleBucket", HashSingleBucket},     {"HashDoubleBucket", HashDoubleBucket},
      {"HashExtendedBucket", HashExtendedBucket}, {"HashCompBucket", HashCompBucket}};
  for (const auto& [name, func] : hashes) {
    EXPECT_EQ(GetHashFunc(name), func) << name;
    EXPECT_EQ(GetHashFuncName(func), name);
  }
  // The currency bucket's functions stay unregistered.
  EXPECT_THROW(GetCompareFuncName(CompareCurrencyBucket), ECompareFuncNotRegistered);
  EXPECT_THROW(GetHashFuncName(HashCurrencyBucket), EHashFuncNotRegistered);
}

TEST(ClassRegistry, DuplicatesAndLetterCase) {
  ExpectRaises<EDuplicateRegisteredClass>(
      [&] { RegisterStreamable(TStack::StaticClass(), {ReadList}, {WriteList}); },
      ::testing::Eq("Duplicate registered class : TStack"));
  // The first registration is still in force: a stack still streams.
  TStack s(TIntegerBucket::StaticClass());
  s.Push(new TIntegerBucket(5));
  auto copy = CloneObj(&s);
  ASSERT_TRUE(copy->Is<TStack>());
  std::unique_ptr<TObject> top(static_cast<TStack*>(copy.get())->Pop());
  EXPECT_EQ(static_cast<TIntegerBucket*>(top.get())->GetInteger(), 5);

  ExpectRaises<EClassNotRegistered>([&] { GetRegisteredClass("tstack"); },
                                    ::testing::Eq("Class not registered : tstack"));
  EXPECT_EQ(FindStreamableInterface("tstack"), nullptr);
}

TEST(ClassRegistry, DefaultWriteVersion) {
  RegisterStreamable(TVersioned::StaticClass(), {ReadVersioned1, ReadVersioned2},
                     {WriteVersioned1, WriteVersioned2});
  TVersioned v;
  v.a = 1;
  v.b = 2;
  // Version 2, the newest, by default.
  EXPECT_EQ(Hex(test::Record(&v)), Hex(test::Bytes().Head("TVersioned", 2).Int(1).Int(2)));
  auto back = test::ReadRecord(test::Record(&v));
  EXPECT_EQ(static_cast<TVersioned*>(back.get())->b, 2);

  SetDefaultWriteProcVersion(TVersioned::StaticClass(), 1);
  const std::string v1 = test::Record(&v);
  EXPECT_EQ(Hex(v1), Hex(test::Bytes().Head("TVersioned", 1).Int(1)));
  back = test::ReadRecord(v1);
  EXPECT_EQ(static_cast<TVersioned*>(back.get())->a, 1);
  EXPECT_EQ(static_cast<TVersioned*>(back.get())->b, 0);

  EXPECT_THROW(SetDefaultWriteProcVersion(TVersioned::StaticClass(), 3),
               EClassVersionNotRegistered);
  EXPECT_THROW(SetDefaultWriteProcVersion(TVersioned::StaticClass(), 0),
               EClassVersionNotRegistered);
  EXPECT_EQ(test::Record(&v), v1);  // unchanged
  EXPECT_THROW(SetDefaultWriteProcVersion(test::TUnrelated::StaticClass(), 1), EClassNotRegistered);
  SetDefaultWriteProcVersion(TVersioned::StaticClass(), 2);

  // A record of version 3 has no read procedure; the half-made object is
  // freed.
  EXPECT_THROW(test::ReadRecord(test::Bytes().Head("TVersioned", 3).Int(1)),
               EClassVersionNotRegistered);
  EXPECT_THROW(test::ReadRecord(test::Bytes().Head("TVersioned", 0).Int(1)),
               EClassVersionNotRegistered);
}

TEST(ClassRegistry, AVersionWithoutReadProcedureCannotBeRead) {
  RegisterStreamable(TAhead::StaticClass(), {ReadAhead}, {WriteAhead1, WriteAhead2});
  TAhead a;
  const std::string rec = test::Record(&a);
  EXPECT_EQ(Hex(rec.substr(4 + 2 + 6, 2)), "02 00");
  EXPECT_THROW(test::ReadRecord(rec), EClassVersionNotRegistered);
}

TEST(ClassRegistry, CloneObjTakesTheCopyProcedureOfTheObjectsOwnClass) {
  RegisterStreamable(TCopied::StaticClass(), {ReadCopied}, {WriteCopied});
  RegisterStreamable(TCopiedChild::StaticClass(), {ReadCopied}, {WriteCopied});
  TCopied base;
  base.Value = 7;
  TCopiedChild child;
  child.Value = 8;
  EXPECT_FALSE(CloneObjAs(&base)->ByProc);

  SetCopyProc(TCopied::StaticClass(), CopyCopied);
  const auto copy = CloneObjAs(&base);
  EXPECT_NE(copy.get(), &base);
  EXPECT_TRUE(copy->ByProc);
  EXPECT_EQ(copy->Value, 7);
  // The derived class has no procedure of its own: through its image.
  const std::unique_ptr<TObject> childCopy = CloneObj(&child);
  EXPECT_EQ(childCopy->ClassType(), TCopiedChild::StaticClass());
  EXPECT_FALSE(static_cast<TCopied&>(*childCopy).ByProc);
  EXPECT_EQ(static_cast<TCopied&>(*childCopy).Value, 8);

  SetCopyProc(TCopied::StaticClass(), nullptr);
  EXPECT_FALSE(CloneObjAs(&base)->ByProc);
  ExpectRaises<EClassNotRegistered>(
      [] { SetCopyProc(TNeverRegistered::StaticClass(), CopyCopied); }, "TNeverRegistered");
}

TEST(FunctionRegistries, LookupsByNameAndByFunction) {
  EXPECT_EQ(GetCompareFuncName(CompareLess), "CompareLess");
  EXPECT_THROW(GetCompareFuncName(CompareA), ECompareFuncNotRegistered);
  EXPECT_THROW(GetCompareFunc("CompareA"), ECompareFuncNotRegistered);
  // A compare function's name is not a hash function's.
  EXPECT_THROW(GetHashFunc("CompareEqual"), EHashFuncNotRegistered);
  try {
    GetHashFunc("nothing");
  } catch (const EHashFuncNotRegistered& e) {
    EXPECT_EQ(e.Message(), "Hash function not registered");
  }

  RegisterCompareFunction("TestCompareA", CompareA);
  EXPECT_EQ(GetCompareFunc("TestCompareA"), CompareA);
  ExpectRaises<EDuplicateCompareFunc>([&] { RegisterCompareFunction("TestCompareA", CompareB); },
                                      ::testing::Eq("Duplicate compare function : TestCompareA"));
  EXPECT_EQ(GetCompareFunc("TestCompareA"), CompareA);
  EXPECT_THROW(GetCompareFunc("testcomparea"), ECompareFuncNotRegistered);

  RegisterHashFunction("TestHashA", HashA);
  EXPECT_EQ(GetHashFuncName(HashA), "TestHashA");
  ExpectRaises<EDuplicateHashFunc>([&] { RegisterHashFunction("TestHashA", HashA); },
                                   ::testing::Eq("Duplicate hash function : TestHashA"));
}

TEST(FunctionRegistries, FunctionUnderTwoNamesAnswersTheFirstInListOrder) {
  // Registered after the cursor: right after the last registration.
  RegisterCompareFunction("TestB1", CompareB);
  RegisterCompareFunction("TestB2", CompareB);
  EXPECT_EQ(GetCompareFuncName(CompareB), "TestB1");
  // A name look-up leaves the cursor on the entry found: the next
  // registration goes right after it, so the registry now holds
  // CompareEqual, TestB3, ... and TestB3 is found first.
  GetCompareFunc("CompareEqual");
  RegisterCompareFunction("TestB3", CompareB);
  EXPECT_EQ(GetCompareFuncName(CompareB), "TestB3");
}

TEST(FunctionRegistries, EmptyNameCountsAsNoName) {
  TComparison (*const f)(const TObject*, const TObject*) = [](const TObject*, const TObject*) {
    return cmpGreater;
  };
  RegisterCompareFunction("", f);
  EXPECT_EQ(GetCompareFunc(""), f);
  EXPECT_THROW(GetCompareFuncName(f), ECompareFuncNotRegistered);
}

}  // namespace
}  // namespace corvid
