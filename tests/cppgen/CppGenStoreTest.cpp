// Classes generated at build time from the models in data/ (see
// CMakeLists.txt): stored through an object file on SQLite, read back,
// navigated on every index, and their images compared with those of
// reference write procedures that follow the Pascal unit's order and kinds.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "AllTypes.h"
#include "Child.h"
#include "Family.h"
#include "SampleObject.h"

namespace corvid::test {
namespace {

// --- images ---------------------------------------------------------------------

// The record the object stream writes for Obj, through the class's
// registered (generated) write procedure.
std::string Record(const TObject* Obj) {
  TMemoryStream bytes;
  TObjectStream stream(&bytes, false);
  stream.WriteObject(Obj);
  return std::string(bytes.View());
}

// The bytes of a hand-written reference procedure.
std::string Reference(const std::function<void(TObjectWriter&)>& Write) {
  TMemoryStream bytes;
  TObjectStream stream(&bytes, false);
  {
    TObjectWriter writer(bytes, stream);
    Write(writer);
  }
  return std::string(bytes.View());
}

// Reference procedures: the record layout written out by hand, so that the
// generated procedures are compared with the format, not with themselves.
void RefRecordHead(TObjectWriter& W, const char* ClassName) {
  W.WriteSignature();
  W.WriteString(ClassName);
  W.WriteWord(1);  // version 1
}

void RefNil(TObjectWriter& W) {
  W.WriteSignature();
  W.WriteString(NilObjectName);
}

void RefChild(TObjectWriter& W, const TChild* C) {
  if (C == nullptr) return RefNil(W);
  RefRecordHead(W, "TChild");
  W.WriteString(C->GetLabel());
  W.WriteInteger(C->GetCount());
}

// Pascal order: ID (Integer), Name (String), Child (ChildObject).
void RefSampleBody(TObjectWriter& W, const TSampleObject& S) {
  W.WriteInteger(S.GetID());
  W.WriteString(S.GetName());
  RefChild(W, S.GetChild());
}

TChild Child(const std::string& Label, std::int32_t Count) {
  TChild c;
  c.SetLabel(Label);
  c.SetCount(Count);
  return c;
}

void ExpectChild(const TChild* C, const std::string& Label, std::int32_t Count) {
  ASSERT_NE(C, nullptr);
  EXPECT_EQ(C->GetLabel(), Label);
  EXPECT_EQ(C->GetCount(), Count);
}

// --- the store ------------------------------------------------------------------

class GeneratedClass : public ::testing::Test {
 protected:
  GeneratedClass() : db_(GetOdbDriverClass("SQLite"), ":memory:") { db_.Open("create", "", ""); }

  std::unique_ptr<TObjectFile> OpenFile(const std::string& Name, TClass Mapping) {
    auto file = std::make_unique<TObjectFile>(db_, Name, Mapping);
    file->CreateFile();
    file->Open();
    return file;
  }

  // Inserts Obj and returns the copy the file keeps (with its numbered key).
  template <class T>
  T& Insert(TObjectFile& File, const T& Obj) {
    File.SetCurrentObj(&Obj);
    File.Insert();
    return *static_cast<T*>(File.GetCurrentObj());
  }

  // The objects in the order of Index, as Key of each.
  template <class T, class R>
  std::vector<std::remove_cvref_t<R>> Walk(TObjectFile& File, const std::string& Index,
                                           R (T::*Key)() const) {
    File.SetIndexName(Index);
    std::vector<std::remove_cvref_t<R>> keys;
    for (bool more = File.FindFirst(); more; more = File.FindNext()) {
      keys.push_back((static_cast<T*>(File.GetCurrentObj())->*Key)());
    }
    return keys;
  }

  TObjectDatabase db_;
};

TEST_F(GeneratedClass, WorkedExample) {
  auto file = OpenFile("Samples", TSampleObjectORMapping::StaticClass());
  const char* names[] = {"Beta", "alpha", "Gamma"};
  for (int i = 0; i < 3; ++i) {
    TSampleObject s;
    s.SetName(names[i]);
    const TChild c = Child(std::string("child of ") + names[i], 10 * i);
    s.SetChild(&c);
    // The autoincrement value comes back into the object the file keeps.
    EXPECT_EQ(Insert(*file, s).GetID(), i + 1);
  }

  // ByID ascending; ByName case-insensitive and descending.
  EXPECT_EQ(Walk(*file, "ByID", &TSampleObject::GetID), (std::vector<std::int32_t>{1, 2, 3}));
  const std::vector<std::string> byName = {"Gamma", "Beta", "alpha"};
  EXPECT_EQ(Walk(*file, "ByName", &TSampleObject::GetName), byName);

  // Read back from the stored image: every member, the child included, and
  // the numbered ID that the second write put into the image.
  file->SetIndexName("ByID");
  ASSERT_TRUE(file->FindFirst());
  ASSERT_TRUE(file->FindNext());
  const auto& s = *static_cast<TSampleObject*>(file->GetCurrentObj());
  EXPECT_EQ(s.GetID(), 2);
  EXPECT_EQ(s.GetName(), "alpha");
  ExpectChild(s.GetChild(), "child of alpha", 10);

  EXPECT_EQ(Record(&s), Reference([&](TObjectWriter& w) {
              RefRecordHead(w, "TSampleObject");
              RefSampleBody(w, s);
            }));
}

TEST_F(GeneratedClass, ClassWithoutObjectMembers) {
  auto file = OpenFile("Children", TChildORMapping::StaticClass());
  for (const TChild& c : {Child("b", 3), Child("c", 1), Child("a", 2)}) Insert(*file, c);
  const std::vector<std::string> byLabel = {"a", "b", "c"};
  EXPECT_EQ(Walk(*file, "ByLabel", &TChild::GetLabel), byLabel);
  EXPECT_EQ(Walk(*file, "ByCount", &TChild::GetCount), (std::vector<std::int32_t>{1, 2, 3}));

  // A copy of the class is an ordinary value copy.
  ASSERT_TRUE(file->FindLast());
  const TChild b = *static_cast<TChild*>(file->GetCurrentObj());
  ExpectChild(&b, "b", 3);
  EXPECT_EQ(Record(&b), Reference([&](TObjectWriter& w) { RefChild(w, &b); }));
}

TEST_F(GeneratedClass, SeveralObjectMembers) {
  TFamily f;
  // The children exist from the start; the setter keeps a deep copy.
  ASSERT_NE(f.GetHead(), nullptr);
  ASSERT_NE(f.GetTail(), nullptr);
  ASSERT_NE(f.GetSample(), nullptr);
  ASSERT_NE(f.GetSample()->GetChild(), nullptr);
  TChild head = Child("head", 1);
  f.SetHead(&head);
  head.SetLabel("changed");
  ExpectChild(f.GetHead(), "head", 1);
  TSampleObject sample;
  sample.SetID(7);
  sample.SetName("inner");
  const TChild inner = Child("inner child", 9);
  sample.SetChild(&inner);
  f.SetSample(&sample);
  f.SetTail(nullptr);  // a null child is stored as the nil record
  f.SetSurname("Smith");

  auto file = OpenFile("Families", TFamilyORMapping::StaticClass());
  EXPECT_EQ(Insert(*file, f).GetId(), 1);
  TFamily other;
  other.SetSurname("Smith");
  EXPECT_EQ(Insert(*file, other).GetId(), 2);
  other.SetSurname("Jones");
  EXPECT_EQ(Insert(*file, other).GetId(), 3);

  EXPECT_EQ(Walk(*file, "ById", &TFamily::GetId), (std::vector<std::int32_t>{1, 2, 3}));
  // Descending on (Surname, Id).
  EXPECT_EQ(Walk(*file, "BySurname", &TFamily::GetId), (std::vector<std::int32_t>{2, 1, 3}));

  file->SetIndexName("ById");
  ASSERT_TRUE(file->FindFirst());
  const auto& r = *static_cast<TFamily*>(file->GetCurrentObj());
  EXPECT_EQ(r.GetId(), 1);
  EXPECT_EQ(r.GetSurname(), "Smith");
  ExpectChild(r.GetHead(), "head", 1);
  ASSERT_NE(r.GetSample(), nullptr);
  EXPECT_EQ(r.GetSample()->GetID(), 7);
  EXPECT_EQ(r.GetSample()->GetName(), "inner");
  ExpectChild(r.GetSample()->GetChild(), "inner child", 9);
  EXPECT_EQ(r.GetTail(), nullptr);

  // Pascal order: Id, Head, Sample, Surname, Tail.
  const std::string reference = Reference([&](TObjectWriter& w) {
    RefRecordHead(w, "TFamily");
    w.WriteInteger(r.GetId());
    RefChild(w, r.GetHead());
    RefRecordHead(w, "TSampleObject");
    RefSampleBody(w, *r.GetSample());
    w.WriteString(r.GetSurname());
    RefNil(w);
  });
  EXPECT_EQ(Record(&r), reference);
}

TAllTypes Every(std::int32_t Count, std::uint16_t Port, double Ratio, const std::string& Text) {
  TAllTypes a;
  a.SetFlag(true);
  a.SetSmall(255);
  a.SetLetter('x');
  a.SetTotal(1234567890123456789);  // a Comp beyond a double's precision
  a.SetRatio(Ratio);
  a.SetPrecise(1.0L / 3);
  a.SetCount(Count);
  a.SetDelta(-128);
  a.SetScale(0.25f);
  a.SetText(Text);
  a.SetPort(Port);
  const TChild c = Child("every", Count);
  a.SetChild(&c);
  return a;
}

TEST_F(GeneratedClass, EveryMemberTypeFieldTypeAndAttribute) {
  auto file = OpenFile("AllTypes", TAllTypesORMapping::StaticClass());
  EXPECT_EQ(Insert(*file, Every(2, 9, 2.5, "beta")).GetSerial(), 1);
  EXPECT_EQ(Insert(*file, Every(1, 65535, 0.5, "ALPHA")).GetSerial(), 2);
  EXPECT_EQ(Insert(*file, Every(2, 3, 1.5, "Gamma")).GetSerial(), 3);
  // ByText is primary, unique and case-insensitive: "BETA" is refused.
  file->SetIndexName("ByText");
  const TAllTypes twin = Every(5, 5, 5, "BETA");
  file->SetCurrentObj(&twin);
  EXPECT_THROW(file->Insert(), EOdbKeyViolation);

  const std::vector<std::string> byText = {"Gamma", "beta", "ALPHA"};
  EXPECT_EQ(Walk(*file, "ByText", &TAllTypes::GetText), byText);
  EXPECT_EQ(Walk(*file, "BySerial", &TAllTypes::GetSerial), (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(Walk(*file, "ByCountAndPort", &TAllTypes::GetSerial),
            (std::vector<std::int32_t>{2, 3, 1}));
  EXPECT_EQ(Walk(*file, "ByRatio", &TAllTypes::GetSerial), (std::vector<std::int32_t>{1, 3, 2}));

  file->SetIndexName("BySerial");
  ASSERT_TRUE(file->FindFirst());
  ASSERT_TRUE(file->FindNext());
  const auto& a = *static_cast<TAllTypes*>(file->GetCurrentObj());
  EXPECT_TRUE(a.GetFlag());
  EXPECT_EQ(a.GetSmall(), 255);
  EXPECT_EQ(a.GetLetter(), 'x');
  EXPECT_EQ(a.GetTotal(), 1234567890123456789);
  EXPECT_EQ(a.GetRatio(), 0.5);
  EXPECT_EQ(a.GetPrecise(), 1.0L / 3);
  EXPECT_EQ(a.GetCount(), 1);
  EXPECT_EQ(a.GetSerial(), 2);
  EXPECT_EQ(a.GetDelta(), -128);
  EXPECT_EQ(a.GetScale(), 0.25f);
  EXPECT_EQ(a.GetText(), "ALPHA");
  EXPECT_EQ(a.GetPort(), 65535);
  ExpectChild(a.GetChild(), "every", 1);

  // Pascal kinds: Byte, ShortInt and Word as Integer; Comp, Single, Double
  // and Extended as Float.
  const std::string reference = Reference([&](TObjectWriter& w) {
    RefRecordHead(w, "TAllTypes");
    w.WriteBoolean(a.GetFlag());
    w.WriteInteger(static_cast<std::int32_t>(a.GetSmall()));
    w.WriteChar(a.GetLetter());
    w.WriteFloat(static_cast<long double>(a.GetTotal()));
    w.WriteFloat(a.GetRatio());
    w.WriteFloat(a.GetPrecise());
    w.WriteInteger(a.GetCount());
    w.WriteInteger(a.GetSerial());
    w.WriteInteger(static_cast<std::int32_t>(a.GetDelta()));
    w.WriteFloat(a.GetScale());
    w.WriteString(a.GetText());
    w.WriteInteger(static_cast<std::int32_t>(a.GetPort()));
    RefChild(w, a.GetChild());
  });
  EXPECT_EQ(Record(&a), reference);
}

// An image whose child record has another class than the member's, or a
// Comp that is no 64-bit integer, is refused while reading.
TEST(GeneratedRead, RefusesWrongChildClassAndBadComp) {
  TMemoryStream bytes;
  TObjectStream stream(&bytes, false);
  {
    TObjectWriter w(bytes, stream);
    RefRecordHead(w, "TSampleObject");
    w.WriteInteger(1);
    w.WriteString("x");
    RefRecordHead(w, "TSampleObject");  // where a TChild belongs
    w.WriteInteger(2);
    w.WriteString("y");
    RefNil(w);
  }
  stream.Rewind();
  EXPECT_THROW(stream.ReadObject(), EInvalidObjectType);

  EXPECT_EQ(FloatToComp(-9223372036854775808.0L), std::numeric_limits<std::int64_t>::min());
  EXPECT_THROW(FloatToComp(9223372036854775808.0L), EReadError);
  EXPECT_THROW(FloatToComp(std::nanl("")), EReadError);
  EXPECT_THROW(FloatToComp(0.5L), EReadError);
}

}  // namespace
}  // namespace corvid::test
