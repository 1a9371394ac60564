// Fields: layouts, type checks, value accessors, float text, list functions
// and the stream payload.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbField.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/util/OdbMisc.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

// Runs each test with "." as the decimal separator and restores the
// process-wide settings afterwards.
class Field : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = OdbFormatSettings().DecimalSeparator;
    OdbFormatSettings().DecimalSeparator = '.';
  }
  void TearDown() override { OdbFormatSettings().DecimalSeparator = saved_; }
  char saved_ = '.';
};

TEST_F(Field, SizesFollowTheType) {
  EXPECT_EQ(TOdbField("S", oftString, 30).GetSize(), 30);
  EXPECT_EQ(TOdbField("S", oftString, 256).GetSize(), 256);
  EXPECT_EQ(TOdbField("F", oftFloat, 100).GetSize(), 8);
  EXPECT_EQ(TOdbField("I", oftInteger, 100).GetSize(), 4);
  EXPECT_EQ(TOdbField("A", oftAutoInc, 1).GetSize(), 4);
  TOdbField i("I", oftInteger, 0);
  i.SetSize(100);
  EXPECT_EQ(i.GetSize(), 4);
  TOdbField s("S", oftString, 10);
  s.SetAsString("abc");
  s.SetSize(20);
  EXPECT_EQ(s.GetSize(), 20);
  EXPECT_EQ(s.GetAsString(), "");  // the value held before is lost
  EXPECT_EQ(DefaultOdbFieldSize(oftString), 41);
  s.SetFieldType(oftString);
  EXPECT_EQ(s.GetSize(), 41);
}

TEST_F(Field, CheckTypeTable) {
  const TOdbFieldType all[] = {oftString, oftFloat, oftInteger, oftAutoInc};
  for (TOdbFieldType own : all) {
    TOdbField f("F", own, 10);
    for (TOdbFieldType asked : all) {
      const bool accepted = own == asked || ((own == oftInteger || own == oftAutoInc) &&
                                             (asked == oftInteger || asked == oftAutoInc));
      if (accepted) {
        EXPECT_NO_THROW(f.CheckType(asked)) << int(own) << " " << int(asked);
      } else {
        EXPECT_THROW(f.CheckType(asked), EOdbInvalidFieldType) << int(own) << " " << int(asked);
      }
    }
  }
  // No detail text.
  ExpectRaises<EOdbInvalidFieldType>([&] { TOdbField("F", oftFloat, 0).CheckType(oftString); },
                                     ::testing::Eq("EOdbInvalidFieldType"));
}

TEST_F(Field, StringsAreCutToTheCapacity) {
  TOdbField f("S", oftString, 4);
  f.SetAsString("abcdef");
  EXPECT_EQ(f.GetAsString(), "abc");
  EXPECT_EQ(f.GetBuffer()[0], 3);
  EXPECT_EQ(std::memcmp(f.GetBuffer() + 1, "abc", 3), 0);
  f.SetAsString("");
  EXPECT_EQ(f.GetAsString(), "");

  TOdbField one("S", oftString, 1);
  one.SetAsString("xyz");
  EXPECT_EQ(one.GetAsString(), "");

  TOdbField big("S", oftString, 256);
  big.SetAsString(std::string(300, 'q'));
  EXPECT_EQ(big.GetAsString(), std::string(255, 'q'));
  TOdbField bigger("S", oftString, 1000);
  bigger.SetAsString(std::string(300, 'q'));
  EXPECT_EQ(bigger.GetAsString(), std::string(255, 'q'));

  // Bytes above 127 and zero bytes are characters like any other.
  TOdbField bin("S", oftString, 10);
  const std::string raw("a\0\xE9", 3);
  bin.SetAsString(raw);
  EXPECT_EQ(bin.GetAsString(), raw);
}

TEST_F(Field, StrAddressIsTheFirstCharacter) {
  TOdbField f("S", oftString, 8);
  f.SetAsString("hello");
  EXPECT_EQ(f.GetStrAddress(), reinterpret_cast<char*>(f.GetBuffer() + 1));
  std::memcpy(f.GetStrAddress(), "HE", 2);
  EXPECT_EQ(f.GetAsString(), "HEllo");
  EXPECT_THROW(TOdbField("I", oftInteger, 0).GetStrAddress(), EOdbInvalidFieldType);
  EXPECT_THROW(TOdbField("F", oftFloat, 0).GetStrAddress(), EOdbInvalidFieldType);
  EXPECT_THROW(TOdbField("S", oftString, 0).GetStrAddress(), EOdbInvalidFieldType);
}

TEST_F(Field, IntegersAndAutoIncrements) {
  TOdbField a("Id", oftAutoInc, 0);
  a.SetAsInteger(7);
  EXPECT_EQ(a.GetAsInteger(), 7);
  EXPECT_EQ(a.GetAsString(), "7");
  TOdbField i("N", oftInteger, 0);
  i.SetAsInteger(std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(i.GetAsString(), "-2147483648");
  i.SetAsInteger(-1234567);
  EXPECT_EQ(i.GetAsString(), "-1234567");
  // Little-endian in the buffer.
  i.SetAsInteger(0x01020304);
  EXPECT_EQ(i.GetBuffer()[0], 0x04);
  EXPECT_EQ(i.GetBuffer()[3], 0x01);
}

TEST_F(Field, WrongTypeAccessRaisesAndKeepsTheValue) {
  TOdbField f("F", oftFloat, 0);
  f.SetAsFloat(1.5);
  EXPECT_THROW(f.SetAsInteger(3), EOdbInvalidFieldType);
  EXPECT_THROW(f.SetAsString("3"), EOdbInvalidFieldType);
  EXPECT_EQ(f.GetAsFloat(), 1.5);
  TOdbField i("I", oftInteger, 0);
  i.SetAsInteger(9);
  EXPECT_THROW(i.GetAsFloat(), EOdbInvalidFieldType);
  EXPECT_THROW(i.SetAsFloat(2.0), EOdbInvalidFieldType);
  EXPECT_THROW(i.SetAsString("2"), EOdbInvalidFieldType);
  EXPECT_EQ(i.GetAsInteger(), 9);
  TOdbField s("S", oftString, 5);
  EXPECT_THROW(s.GetAsInteger(), EOdbInvalidFieldType);
  EXPECT_THROW(s.GetAsFloat(), EOdbInvalidFieldType);
}

TEST_F(Field, FloatLayoutIsLittleEndianDouble) {
  TOdbField f("F", oftFloat, 0);
  f.SetAsFloat(1.0);
  const std::uint8_t expected[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  EXPECT_EQ(std::memcmp(f.GetBuffer(), expected, 8), 0);
}

std::string FloatText(double v) {
  TOdbField f("F", oftFloat, 0);
  f.SetAsFloat(v);
  return f.GetAsString();
}

TEST_F(Field, FloatTextHasFifteenDecimals) {
  EXPECT_EQ(FloatText(3), "3.000000000000000");
  EXPECT_EQ(FloatText(2.5), "2.500000000000000");
  EXPECT_EQ(FloatText(-0.25), "-0.250000000000000");
  EXPECT_EQ(FloatText(0), "0.000000000000000");
  EXPECT_EQ(FloatText(-0.0), "0.000000000000000");
  EXPECT_EQ(FloatText(0.1), "0.100000000000000");
  EXPECT_EQ(FloatText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatText(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(FloatText(1e-16), "0.000000000000000");
  EXPECT_EQ(FloatText(-1e-16), "0.000000000000000");
  EXPECT_EQ(FloatText(5e-15), "0.000000000000005");
}

TEST_F(Field, FloatTextKeepsEighteenSignificantDigits) {
  EXPECT_EQ(FloatText(1234.5), "1234.500000000000000");
  EXPECT_EQ(FloatText(-1234.5), "-1234.500000000000000");
  // 18 digits of the stored binary value, then zeros.
  EXPECT_EQ(FloatText(1234.1), "1234.099999999999910");
  EXPECT_EQ(FloatText(123456789012345678.0), "123456789012345680.000000000000000");
  EXPECT_EQ(FloatText(999.9999999999999999), "1000.000000000000000");
}

TEST_F(Field, FloatTextFromOneE18IsScientific) {
  EXPECT_EQ(FloatText(1e18), "1E18");
  EXPECT_EQ(FloatText(-1.5e20), "-1.5E20");
  EXPECT_EQ(FloatText(1.25e300), "1.25E300");
  EXPECT_EQ(FloatText(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(FloatText(std::numeric_limits<double>::quiet_NaN()), "NAN");
}

TEST_F(Field, FloatTextUsesTheLocaleSeparator) {
  OdbFormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(FloatText(2.5), "2,500000000000000");
  EXPECT_EQ(FloatText(1.5e20), "1,5E20");
  EXPECT_EQ(OdbFloatToStr(2.5, '.'), "2.500000000000000");
}

TEST_F(Field, FieldsEqualByTypeRules) {
  TOdbField i("I", oftInteger, 0), a("A", oftAutoInc, 0);
  i.SetAsInteger(5);
  a.SetAsInteger(5);
  EXPECT_TRUE(FieldsEqual(i, a));
  a.SetAsInteger(6);
  EXPECT_FALSE(FieldsEqual(a, i));
  TOdbField s1("S", oftString, 10), s2("T", oftString, 20);
  s1.SetAsString("abc");
  s2.SetAsString("ABC");
  EXPECT_FALSE(FieldsEqual(s1, s2));
  s2.SetAsString("abc");
  EXPECT_TRUE(FieldsEqual(s1, s2));  // sizes take no part
  TOdbField f1("F", oftFloat, 0), f2("G", oftFloat, 0);
  f1.SetAsFloat(0.5);
  f2.SetAsFloat(0.5);
  EXPECT_TRUE(FieldsEqual(f1, f2));
  EXPECT_THROW(FieldsEqual(s1, f1), EOdbFieldsNotComparable);
  EXPECT_THROW(FieldsEqual(i, f1), EOdbFieldsNotComparable);
}

TEST_F(Field, CompareOdbFieldUsesNamesOnly) {
  TOdbField a("Name", oftString, 10), b("NAME", oftInteger, 0), c("Other", oftString, 10);
  EXPECT_EQ(CompareOdbField(&a, &b), cmpEqual);
  EXPECT_EQ(CompareOdbField(&a, &c), cmpLess);
  EXPECT_EQ(CompareOdbField(&c, &a), cmpGreater);
  TObject notAField;
  EXPECT_THROW(CompareOdbField(&a, &notAField), std::bad_cast);
  EXPECT_THROW(CompareOdbField(nullptr, &a), std::bad_cast);
}

// A field list as mappings keep it.
std::unique_ptr<TUnorderedList> MakeList() {
  auto list = std::make_unique<TUnorderedList>(TOdbField::StaticClass(), &CompareOdbField);
  auto add = [&](const char* name, TOdbFieldType type, std::uint16_t size) {
    list->InsertAtTail(new TOdbField(name, type, size));
  };
  add("Name", oftString, 30);
  add("Age", oftInteger, 0);
  add("Weight", oftFloat, 0);
  return list;
}

TEST_F(Field, GetFieldInListIgnoresCaseAndPositionsTheList) {
  auto list = MakeList();
  TOdbField* f = GetFieldInList("NAME", *list);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->GetName(), "Name");
  EXPECT_EQ(list->GetCurrentObj(), f);
  EXPECT_EQ(GetFieldInList("weight", *list)->GetFieldType(), oftFloat);
  ExpectRaises<EOdbFieldDoesNotExist>([&] { GetFieldInList("Height", *list); },
                                      ::testing::Eq("EOdbFieldDoesNotExist.\rHeight"));
}

TEST_F(Field, FieldListHasAutoInc) {
  auto list = MakeList();
  EXPECT_FALSE(FieldListHasAutoInc(*list));
  list->InsertAtTail(new TOdbField("Id", oftAutoInc, 0));
  EXPECT_TRUE(FieldListHasAutoInc(*list));
  TUnorderedList empty(TOdbField::StaticClass(), &CompareOdbField);
  EXPECT_FALSE(FieldListHasAutoInc(empty));
}

TEST_F(Field, RegisteredUnderTheirNames) {
  EXPECT_EQ(GetCompareFunc("CompareOdbField"), &CompareOdbField);
  EXPECT_EQ(GetRegisteredClass("TOdbField"), TOdbField::StaticClass());
}

TEST_F(Field, StreamPayloadLayout) {
  TOdbField f("Age", oftInteger, 0);
  f.SetAsInteger(300);
  TMemoryStream mem;
  {
    TObjectStream os(&mem, false);
    os.WriteObject(&f);
  }
  const std::string expected = std::string("TPF0\x06\x09TOdbField\x01\x00", 17) +
                               std::string(
                                   "\x06\x03"
                                   "Age\x02\x02\x02\x04",
                                   9) +
                               std::string("\x2C\x01\x00\x00", 4);
  EXPECT_EQ(mem.View(), expected);
}

TEST_F(Field, StreamRoundTripKeepsEveryByte) {
  TOdbField s("Name", oftString, 10);
  s.SetAsString("abcdefgh");
  s.SetAsString("xy");  // leaves "cdefgh" behind the two characters
  std::unique_ptr<TOdbField> copy = CloneObjAs(&s);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetName(), "Name");
  EXPECT_EQ(copy->GetFieldType(), oftString);
  EXPECT_EQ(copy->GetSize(), 10);
  EXPECT_EQ(std::memcmp(copy->GetBuffer(), s.GetBuffer(), 10), 0);
  EXPECT_EQ(copy->GetAsString(), "xy");
  EXPECT_TRUE(ObjectsEqual(&s, copy.get()));
  copy->SetAsString("xz");
  EXPECT_FALSE(ObjectsEqual(&s, copy.get()));
}

TEST_F(Field, FieldListRoundTripsThroughStreamAndClone) {
  auto list = MakeList();
  GetFieldInList("Name", *list)->SetAsString("Smith");
  GetFieldInList("Age", *list)->SetAsInteger(42);
  GetFieldInList("Weight", *list)->SetAsFloat(71.25);

  TMemoryStream mem;
  {
    TObjectStream os(&mem, false);
    os.WriteObject(list.get());
    os.Rewind();
    std::unique_ptr<TObject> read = os.ReadObject();
    auto* copy = dynamic_cast<TUnorderedList*>(read.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->CompareFunc(), &CompareOdbField);
    EXPECT_EQ(copy->ObjClass(), TOdbField::StaticClass());
    ASSERT_EQ(copy->GetSize(), 3);
    EXPECT_EQ(GetFieldInList("name", *copy)->GetAsString(), "Smith");
    EXPECT_EQ(GetFieldInList("age", *copy)->GetAsInteger(), 42);
    EXPECT_EQ(GetFieldInList("weight", *copy)->GetAsFloat(), 71.25);
    EXPECT_TRUE(os.GetEndOfStream());
  }

  std::unique_ptr<TObject> clone = CloneObj(list.get());
  EXPECT_TRUE(ObjectsEqual(list.get(), clone.get()));
  auto* cloned = static_cast<TUnorderedList*>(clone.get());
  GetFieldInList("Age", *cloned)->SetAsInteger(43);
  EXPECT_EQ(GetFieldInList("Age", *list)->GetAsInteger(), 42);  // independent copies
  EXPECT_FALSE(FieldsEqual(*GetFieldInList("Age", *list), *GetFieldInList("Age", *cloned)));
}

// A field record with chosen header values and raw bytes.
std::unique_ptr<TObject> ReadCraftedField(std::int8_t type, std::int8_t size,
                                          const std::string& raw) {
  std::string rec = std::string("TPF0\x06\x09TOdbField\x01\x00", 17) + "\x06\x01X";
  rec += '\x02';
  rec += static_cast<char>(type);
  rec += '\x02';
  rec += static_cast<char>(size);
  rec += raw;
  TMemoryStream mem;
  mem.Write(rec.data(), static_cast<std::int64_t>(rec.size()));
  mem.SetPosition(0);
  TObjectStream os(&mem, false);
  return os.ReadObject();
}

TEST_F(Field, DamagedStringFieldsAreClampedToTheirBuffer) {
  // Length byte 200 in a field of Size 4: three characters are all there is.
  std::unique_ptr<TObject> obj = ReadCraftedField(oftString, 4,
                                                  std::string("\xC8"
                                                              "abc",
                                                              4));
  auto& f = dynamic_cast<TOdbField&>(*obj);
  EXPECT_EQ(f.GetAsString(), "abc");
  obj = ReadCraftedField(oftString, 0, "");
  auto& empty = dynamic_cast<TOdbField&>(*obj);
  EXPECT_EQ(empty.GetAsString(), "");
  EXPECT_NO_THROW(empty.SetAsString("abc"));
  EXPECT_EQ(empty.GetAsString(), "");
}

TEST_F(Field, DamagedNumericFieldsRefuseAccess) {
  std::unique_ptr<TObject> obj = ReadCraftedField(oftInteger, 2, "\x01\x02");
  auto& i = dynamic_cast<TOdbField&>(*obj);
  EXPECT_EQ(i.GetSize(), 2);
  EXPECT_THROW(i.GetAsInteger(), EOdbInvalidFieldType);
  EXPECT_THROW(i.SetAsInteger(1), EOdbInvalidFieldType);
  EXPECT_THROW(i.GetAsString(), EOdbInvalidFieldType);
  obj = ReadCraftedField(oftFloat, 4, "abcd");
  auto& f = dynamic_cast<TOdbField&>(*obj);
  EXPECT_THROW(f.GetAsFloat(), EOdbInvalidFieldType);
  EXPECT_THROW(f.SetAsFloat(1), EOdbInvalidFieldType);
  EXPECT_THROW(f.GetAsString(), EOdbInvalidFieldType);
}

TEST_F(Field, UnknownTypesAreRefused) {
  std::unique_ptr<TObject> obj = ReadCraftedField(7, 4, "abcd");
  auto& f = dynamic_cast<TOdbField&>(*obj);
  for (TOdbFieldType t : {oftString, oftFloat, oftInteger, oftAutoInc}) {
    EXPECT_THROW(f.CheckType(t), EOdbInvalidFieldType);
  }
  ExpectRaises<EOdbError>([&] { f.GetAsString(); },
                          ::testing::Eq("EOdbError.\rInternal error, TOdbField.GetAsString"));
  EXPECT_THROW(FieldsEqual(f, f), EOdbFieldTypeNotSupported);
}

TEST_F(Field, ImpossibleHeadersAreReadErrors) {
  EXPECT_THROW(ReadCraftedField(-1, 4, "abcd"), EReadError);
  EXPECT_THROW(ReadCraftedField(oftString, -1, ""), EReadError);
  // Fewer bytes than the Size promises.
  EXPECT_THROW(ReadCraftedField(oftString, 10, "abc"), EReadError);
}

}  // namespace
}  // namespace corvid
