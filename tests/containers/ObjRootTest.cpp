#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Counted.h"
#include "ExpectRaises.h"
#include "corvid/containers/ObjBase.h"
#include "corvid/containers/ObjType.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

using test::TCounted;
using test::TCountedChild;
using test::TUnrelated;

// A class whose normal construction does work that a blank instance must
// not repeat, and that relies on the second construction step.
class TTwoStep : public TObject {
  CORVID_CLASS(TTwoStep, ::corvid::TObject)
 public:
  TTwoStep() { Setup(); }
  void AfterConstruction() override { Define(); }
  virtual void Define() { defined = "base"; }
  std::string setup;
  std::string defined;

 private:
  explicit TTwoStep(TBlank) {}
  void Setup() { setup = "done"; }
};

class TTwoStepChild : public TTwoStep {
  CORVID_CLASS(TTwoStepChild, ::corvid::TTwoStep)
 public:
  void Define() override { defined = "child"; }
};

TEST(ObjRoot, ClassReferencesNameParentAndInheritance) {
  EXPECT_EQ(TObject::StaticClass().Name(), "TObject");
  EXPECT_TRUE(TObject::StaticClass().Parent().IsNull());
  EXPECT_EQ(TCountedChild::StaticClass().Parent(), TCounted::StaticClass());
  EXPECT_TRUE(TCountedChild::StaticClass().InheritsFrom(TCounted::StaticClass()));
  EXPECT_TRUE(TCountedChild::StaticClass().InheritsFrom(TObject::StaticClass()));
  EXPECT_FALSE(TCounted::StaticClass().InheritsFrom(TCountedChild::StaticClass()));
  EXPECT_FALSE(TUnrelated::StaticClass().InheritsFrom(TCounted::StaticClass()));
  EXPECT_FALSE(TCounted::StaticClass().InheritsFrom(TClass()));

  TCountedChild child;
  const TObject& asRoot = child;
  EXPECT_EQ(asRoot.ClassName(), "TCountedChild");
  EXPECT_TRUE(asRoot.Is<TCounted>());
  EXPECT_FALSE(asRoot.Is<TUnrelated>());
}

TEST(ObjRoot, CreateRunsTheSecondStepOfTheMostDerivedClass) {
  auto obj = TTwoStepChild::StaticClass().Create();
  ASSERT_NE(obj, nullptr);
  auto* two = dynamic_cast<TTwoStepChild*>(obj.get());
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->setup, "done");
  EXPECT_EQ(two->defined, "child");
}

TEST(ObjRoot, BlankInstanceRunsNoConstructorLogic) {
  auto blank = TTwoStep::StaticClass().CreateBlank();
  auto* two = dynamic_cast<TTwoStep*>(blank.get());
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->setup, "");
  EXPECT_EQ(two->defined, "");
  // Abstract classes cannot be created at all.
  EXPECT_FALSE(TNodeContainer::StaticClass().CanCreate());
  EXPECT_EQ(TNodeContainer::StaticClass().CreateBlank(), nullptr);
}

TEST(ObjRoot, ExceptionClassesAreThrownAsThemselvesFromAReference) {
  ExpectRaises<EContainerIsFull>(
      [&] { RaiseExceptionOfClass(EContainerIsFull::StaticClass(), "full"); },
      [&](const EContainerIsFull& e) {
        EXPECT_EQ(e.Message(), "full");
        EXPECT_EQ(e.ClassName(), "EContainerIsFull");
        EXPECT_EQ(e.ClassType().Parent(), Exception::StaticClass());
      });
  // A class that is no exception still raises, as the base class.
  EXPECT_THROW(RaiseExceptionOfClass(TCounted::StaticClass(), "x"), Exception);
}

TEST(ObjType, DefaultMessagesAndNamedMessages) {
  ExpectRaises<EContainerIsEmpty>([&] { RaiseContainerIsEmpty(); },
                                  ::testing::Eq("TContainer is empty"));
  ExpectRaises<EClassNotRegistered>([&] { RaiseClassNotRegistered("TFoo"); },
                                    ::testing::Eq("Class not registered : TFoo"));
  ExpectRaises<EDuplicateHashFunc>([&] { RaiseDuplicateHashFunc(""); },
                                   ::testing::Eq("Duplicate hash function : "));
}

template <class E>
std::string MessageOf(void (*raise)()) {
  try {
    raise();
  } catch (const E& e) {
    return e.Message();
  }
  return "<not raised>";
}

template <class E>
std::string NamedMessageOf(void (*raise)(const std::string&)) {
  try {
    raise("N");
  } catch (const E& e) {
    return e.Message();
  }
  return "<not raised>";
}

TEST(ObjType, SetCorvidMessagesReplacesEverySlotInOrder) {
  SetCorvidMessages("m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8", "m9", "m10", "m11", "m12",
                    "m13", "m14", "m15", "m16");
  EXPECT_EQ(MessageOf<EInvalidObjectType>(RaiseInvalidObjectType), "m1");
  EXPECT_EQ(MessageOf<EContainerIsEmpty>(RaiseContainerIsEmpty), "m2");
  EXPECT_EQ(MessageOf<EContainerIsFull>(RaiseContainerIsFull), "m3");
  EXPECT_EQ(MessageOf<EInvalidIndex>(RaiseInvalidIndex), "m4");
  EXPECT_EQ(MessageOf<EMarkerNotSet>(RaiseMarkerNotSet), "m5");
  EXPECT_EQ(MessageOf<ENewArraySizeTooSmall>(RaiseNewArraySizeTooSmall), "m6");
  EXPECT_EQ(MessageOf<EArrayNotSorted>(RaiseArrayNotSorted), "m7");
  EXPECT_EQ(MessageOf<EInvalidOccurrenceSought>(RaiseInvalidOccurrenceSought), "m8");
  EXPECT_EQ(MessageOf<EInvalidArrayCapacity>(RaiseInvalidArrayCapacity), "m9");
  EXPECT_EQ(NamedMessageOf<EClassNotRegistered>(RaiseClassNotRegistered), "m10 : N");
  EXPECT_EQ(MessageOf<ECompareFuncNotRegistered>(RaiseCompareFuncNotRegistered), "m11");
  EXPECT_EQ(MessageOf<EHashFuncNotRegistered>(RaiseHashFuncNotRegistered), "m12");
  EXPECT_EQ(MessageOf<EClassVersionNotRegistered>(RaiseClassVersionNotRegistered), "m13");
  EXPECT_EQ(NamedMessageOf<EDuplicateCompareFunc>(RaiseDuplicateCompareFunc), "m14 : N");
  EXPECT_EQ(NamedMessageOf<EDuplicateHashFunc>(RaiseDuplicateHashFunc), "m15 : N");
  EXPECT_EQ(NamedMessageOf<EDuplicateRegisteredClass>(RaiseDuplicateRegisteredClass), "m16 : N");
  // Restore the defaults for the other tests of this program.
  SetCorvidMessages(
      "Invalid object type in TContainer", "TContainer is empty", "TContainer is full",
      "Invalid index in TContainer", "TContainer marker is not set", "TArray new size is too small",
      "TArray is not sorted", "Invalid occurrence sought in TContainer",
      "Invalid array capacity in TArray", "Class not registered", "Compare function not registered",
      "Hash function not registered", "Class version not registered", "Duplicate compare function",
      "Duplicate hash function", "Duplicate registered class");
}

TEST(ObjCmp, ScalarsStringsAndNegation) {
  EXPECT_EQ(CompareInteger(1, 2), cmpLess);
  EXPECT_EQ(CompareInteger(2, 1), cmpGreater);
  EXPECT_EQ(CompareInteger(-5, -5), cmpEqual);
  EXPECT_EQ(CompareReal(1.5L, 2.5L), cmpLess);
  EXPECT_EQ(CompareReal(NAN, 1.0L), cmpGreater);
  EXPECT_EQ(CompareReal(1.0L, NAN), cmpGreater);
  EXPECT_EQ(CompareDateTime(2.0, 1.0), cmpGreater);
  EXPECT_NE(CompareString("abc", "ABC"), cmpEqual);
  EXPECT_EQ(CompareStringNoCase("abc", "ABC"), cmpEqual);
  EXPECT_EQ(CompareStringNoCase("\xE9t\xE9", "\xC9T\xC9"), cmpEqual);  // été / ÉTÉ
  EXPECT_EQ(CompareStringNoCase("ab", "ABC"), cmpLess);
  EXPECT_EQ(CompareString("a", "\xE9"), cmpLess);  // bytes compare unsigned
  EXPECT_EQ(NegateComparison(cmpEqual), cmpEqual);
  EXPECT_EQ(NegateComparison(cmpLess), cmpGreater);
  EXPECT_EQ(NegateComparison(cmpGreater), cmpLess);
  TCounted x;
  EXPECT_EQ(CompareLess(&x, &x), cmpLess);
  EXPECT_EQ(CompareGreater(&x, &x), cmpGreater);
  EXPECT_EQ(CompareEqual(&x, nullptr), cmpEqual);
}

TEST(ObjCmp, SameShortBytesFindsADifferenceAtEveryPosition) {
  // The word compares overlap differently for each length: a byte that
  // differs anywhere, at any length up to past the memcmp threshold, counts.
  const std::string a(24, 'x');
  for (std::size_t n = 0; n <= a.size(); ++n) {
    std::string b = a;
    EXPECT_TRUE(SameShortBytes(a.data(), b.data(), n)) << n;
    for (std::size_t i = 0; i < n; ++i) {
      b = a;
      b[i] = 'y';
      EXPECT_FALSE(SameShortBytes(a.data(), b.data(), n)) << n << " at " << i;
    }
  }
  EXPECT_FALSE(SameBytes("Code", "Codes"));
  EXPECT_FALSE(SameBytes("Code", "code"));
  EXPECT_TRUE(SameBytes("", ""));
}

}  // namespace
}  // namespace corvid
