#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Counted.h"
#include "ObjListTestSupport.h"
#include "corvid/containers/ObjStack.h"

namespace corvid::test {
namespace {

using Values = std::vector<std::int32_t>;

class StackTest : public CountedTest {};

void CollectValue(TObject* Obj, std::intptr_t CallBackData) {
  reinterpret_cast<Values*>(CallBackData)->push_back(ValueOf(Obj));
}

TEST_F(StackTest, LastInFirstOut) {
  TStack stack(TCounted::StaticClass());
  EXPECT_EQ(stack.CompareFunc(), &CompareEqual);
  EXPECT_TRUE(stack.QueryEmpty());
  auto* a = new TCounted(1);
  auto* b = new TCounted(2);
  auto* c = new TCounted(3);
  stack.Push(a);
  stack.Push(b);
  stack.Push(c);
  EXPECT_EQ(stack.PeekTop(), c);
  EXPECT_EQ(stack.PeekTop(), c);
  EXPECT_EQ(stack.GetSize(), 3);

  std::unique_ptr<TObject> p1(stack.Pop());
  std::unique_ptr<TObject> p2(stack.Pop());
  EXPECT_EQ(p1.get(), c);
  EXPECT_EQ(p2.get(), b);
  stack.Push(new TCounted(4));
  EXPECT_EQ(ValueOf(stack.PeekTop()), 4);
  std::unique_ptr<TObject> p3(stack.Pop());
  std::unique_ptr<TObject> p4(stack.Pop());
  EXPECT_EQ(p4.get(), a);
  EXPECT_TRUE(stack.QueryEmpty());
  EXPECT_THROW(stack.Pop(), EContainerIsEmpty);
  EXPECT_THROW(stack.PeekTop(), EContainerIsEmpty);
  EXPECT_EQ(Live(), 4);  // popped objects are never destroyed by the stack
}

TEST_F(StackTest, IterationRunsFromTopToBottom) {
  TStack stack(TCounted::StaticClass());
  for (std::int32_t v : {1, 2, 3}) stack.Push(new TCounted(v));
  Values seen;
  stack.ForEachCallProc(CollectValue, reinterpret_cast<std::intptr_t>(&seen));
  EXPECT_EQ(seen, (Values{3, 2, 1}));
  seen.clear();
  stack.ForEachCallMethod([&](TObject* Obj, std::intptr_t) { seen.push_back(ValueOf(Obj)); }, 0);
  EXPECT_EQ(seen, (Values{3, 2, 1}));
  seen.clear();
  for (TObject* obj : stack) seen.push_back(ValueOf(obj));
  EXPECT_EQ(seen, (Values{3, 2, 1}));
  EXPECT_EQ(ValueOf(stack.PeekTop()), 3);  // iteration does not disturb the top
}

TEST_F(StackTest, PushRefusesBadObjectsWithoutChange) {
  TStack stack(TCounted::StaticClass());
  stack.Push(new TCounted(1));
  TUnrelated unrelated;
  EXPECT_THROW(stack.Push(nullptr), EInvalidObjectType);
  EXPECT_THROW(stack.Push(&unrelated), EInvalidObjectType);
  EXPECT_EQ(stack.GetSize(), 1);
  stack.Push(new TCountedChild(2));
  EXPECT_EQ(ValueOf(stack.PeekTop()), 2);
}

TEST_F(StackTest, OwnershipOnReleasesStackedObjects) {
  {
    TStack stack(TCounted::StaticClass());
    for (std::int32_t v = 1; v <= 4; ++v) stack.Push(new TCounted(v));
    std::unique_ptr<TObject> popped(stack.Pop());
    stack.Clear();
    EXPECT_EQ(Live(), 1);
    EXPECT_TRUE(stack.QueryEmpty());
    stack.Push(new TCounted(5));
    stack.Push(new TCounted(6));
    EXPECT_EQ(Live(), 3);
  }  // destruction releases 5 and 6
  EXPECT_EQ(Live(), 0);
}

TEST_F(StackTest, OwnershipOffReachesTheList) {
  std::vector<std::unique_ptr<TCounted>> keep;
  for (std::int32_t v = 1; v <= 4; ++v) keep.push_back(std::make_unique<TCounted>(v));
  {
    TStack stack(TCounted::StaticClass());
    stack.SetOwnership(false);
    EXPECT_FALSE(stack.GetOwnership());
    for (auto& obj : keep) stack.Push(obj.get());
    stack.Pop();
    stack.Clear();
    EXPECT_EQ(Live(), 4);
    stack.Push(keep[0].get());
    stack.Push(keep[1].get());
  }
  EXPECT_EQ(Live(), 4);
}

TEST_F(StackTest, BlankStackIsEmptyAndUsable) {
  std::unique_ptr<TObject> obj = TStack::StaticClass().CreateBlank();
  ASSERT_NE(obj, nullptr);
  auto* stack = static_cast<TStack*>(obj.get());
  EXPECT_EQ(stack->GetSize(), 0);
  EXPECT_TRUE(stack->QueryEmpty());
  EXPECT_THROW(stack->Pop(), EContainerIsEmpty);
  EXPECT_THROW(stack->PeekTop(), EContainerIsEmpty);
  EXPECT_TRUE(stack->begin() == stack->end());
  Values seen;
  stack->ForEachCallProc(CollectValue, reinterpret_cast<std::intptr_t>(&seen));
  EXPECT_TRUE(seen.empty());
  stack->SetOwnership(false);
  stack->Clear();
}

}  // namespace
}  // namespace corvid::test
