// A short tour of the Corvid containers: an ordered list of string combos,
// an array that is sorted and binary-searched, a hash table lookup and a
// stack. Every step prints what it does.
#include <cstdio>
#include <memory>
#include <string>

#include "containers/ObjArray.h"
#include "containers/ObjHash.h"
#include "containers/ObjList.h"
#include "containers/ObjStack.h"
#include "values/ObjBuckt.h"

using namespace corvid;

namespace {

std::string Name(const TObject* Obj) {
  return static_cast<const TStringCombo*>(Obj)->Str;
}
std::int32_t Int(const TObject* Obj) {
  return static_cast<const TIntegerBucket*>(Obj)->GetInteger();
}

void OrderedListOfCombos() {
  std::puts("1. An ordered list of string combos, ignoring letter case");
  // The list owns its combos; each combo owns the bucket kept under its name.
  TOrderedList cities(TStringCombo::StaticClass(), CompareStringComboNoCase);
  const struct {
    const char* name;
    std::int32_t population;
  } rows[] = {{"Oslo", 709000}, {"bergen", 286000}, {"Tromso", 77000}, {"alesund", 67000}};
  for (const auto& row : rows) {
    std::printf("   insert %s\n", row.name);
    cities.Insert(new TStringCombo(row.name, new TIntegerBucket(row.population)));
  }
  std::printf("   the list keeps them in order:");
  for (TObject* city : cities) std::printf(" %s", Name(city).c_str());
  std::puts("");
  const TStringCombo probe("OSLO");  // a search key needs no object
  if (cities.Search(&probe)) {
    auto* found = static_cast<TStringCombo*>(cities.GetCurrentObj());
    std::printf("   search \"OSLO\" finds %s, population %d\n", found->Str.c_str(),
                Int(found->GetObj()));
  }
}

void SortedArray() {
  std::puts("2. An array of integer buckets, sorted and binary-searched");
  TArray numbers(TIntegerBucket::StaticClass(), CompareIntegerBucket, 4, 4);
  std::printf("   append:");
  for (std::int32_t v : {42, 7, 19, 88, 3, 61}) {
    std::printf(" %d", v);
    numbers.Insert(new TIntegerBucket(v));
  }
  std::printf("\n   known to be sorted? %s (capacity grew to %d)\n",
              numbers.GetSorted() ? "yes" : "no", numbers.GetCapacity());
  numbers.QuickSort();
  std::printf("   after QuickSort:");
  for (TObject* n : numbers) std::printf(" %d", Int(n));
  std::puts("");
  const TIntegerBucket probe(61);
  std::printf("   BinarySearch(61) -> index %d\n", numbers.BinarySearch(&probe));
  const TIntegerBucket missing(50);
  std::printf("   BinarySearch(50) -> index %d (0: not there)\n", numbers.BinarySearch(&missing));
}

void HashTableLookup() {
  std::puts("3. A hash table of string combos with 7 buckets");
  THashTable colours(TStringCombo::StaticClass(), CompareStringCombo, HashStringCombo, 7);
  for (const char* c : {"red", "green", "blue", "cyan", "magenta"}) {
    auto combo = std::make_unique<TStringCombo>(c);
    std::printf("   insert %-8s into bucket %d\n", c, HashStringCombo(combo.get(), 7));
    colours.Insert(combo.release());
  }
  for (const char* c : {"blue", "black"}) {
    const TStringCombo probe(c);
    std::printf("   search %-8s -> %s\n", c, colours.Search(&probe) ? "found" : "not found");
  }
}

void Stack() {
  std::puts("4. A stack: last in, first out");
  TStack stack(TStringCombo::StaticClass());
  for (const char* step : {"open", "edit", "save"}) {
    std::printf("   push %s\n", step);
    stack.Push(new TStringCombo(step));
  }
  std::printf("   top is %s; popping:", Name(stack.PeekTop()).c_str());
  while (!stack.QueryEmpty()) {
    std::unique_ptr<TObject> popped(stack.Pop());  // Pop hands the object back
    std::printf(" %s", Name(popped.get()).c_str());
  }
  std::puts("");
}

}  // namespace

int main() {
  std::puts("Corvid container demo\n");
  OrderedListOfCombos();
  SortedArray();
  HashTableLookup();
  Stack();
  std::puts("\nDone: every container freed the objects it owned.");
  return 0;
}
