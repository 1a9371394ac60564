// The start-up registrations of the container, value and persistence
// modules, all in one place and in the order of the modules' start-up:
// compare functions of ObjCmp; the list, stack, array and hash-table classes;
// the string combo and bucket classes with their compare and hash functions;
// the platform classes. The database layer registers its own classes and
// functions from its files.
//
// They run from this file's static initialiser and, should another module's
// initialiser use a registry first, from the registry's creation (see
// ObjPerstRegistry.cpp). Because the registries call RegisterObjPerstStartup,
// a program that uses any registry links this file and so every
// registration, even when the core library is linked without
// --whole-archive.
#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjHash.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjStack.h"
#include "corvid/persist/Graphics.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

bool gStarted = false;

}  // namespace

void RegisterObjPerstStartup() {
  if (gStarted) return;
  gStarted = true;

  // Module ObjCmp.
  RegisterCompareFunction("CompareEqual", CompareEqual);
  RegisterCompareFunction("CompareLess", CompareLess);
  RegisterCompareFunction("CompareGreater", CompareGreater);

  // Module ObjList.
  RegisterStreamable(TOrderedList::StaticClass(), {ReadList}, {WriteList});
  RegisterStreamable(TUnorderedList::StaticClass(), {ReadList}, {WriteList});
  RegisterStreamable(TCircularList::StaticClass(), {ReadList}, {WriteList});

  // Module ObjStack.
  RegisterStreamable(TStack::StaticClass(), {ReadStack}, {WriteStack});

  // Module ObjArray.
  RegisterStreamable(TArray::StaticClass(), {ReadArray}, {WriteArray});

  // Module ObjHash.
  RegisterStreamable(THashTable::StaticClass(), {ReadHashTable}, {WriteHashTable});

  // Module ObjBuckt. TCurrencyBucket and its functions stay unregistered.
  RegisterStreamable(TStringCombo::StaticClass(), {ReadStringCombo}, {WriteStringCombo});
  RegisterStreamable(TBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TShortIntBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TIntegerBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TLongIntBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TByteBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TWordBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TCharBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TBooleanBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TWordBoolBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TLongBoolBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TRealBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TDateTimeBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TSingleBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TDoubleBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TExtendedBucket::StaticClass(), {ReadBucket}, {WriteBucket});
  RegisterStreamable(TCompBucket::StaticClass(), {ReadBucket}, {WriteBucket});

  RegisterCompareFunction("CompareStringCombo", CompareStringCombo);
  RegisterCompareFunction("CompareStringComboNoCase", CompareStringComboNoCase);
  RegisterCompareFunction("CompareShortIntBucket", CompareShortIntBucket);
  RegisterCompareFunction("CompareIntegerBucket", CompareIntegerBucket);
  RegisterCompareFunction("CompareLongIntBucket", CompareLongIntBucket);
  RegisterCompareFunction("CompareByteBucket", CompareByteBucket);
  RegisterCompareFunction("CompareWordBucket", CompareWordBucket);
  RegisterCompareFunction("CompareCharBucket", CompareCharBucket);
  RegisterCompareFunction("CompareBooleanBucket", CompareBooleanBucket);
  RegisterCompareFunction("CompareWordBoolBucket", CompareWordBoolBucket);
  RegisterCompareFunction("CompareLongBoolBucket", CompareLongBoolBucket);
  RegisterCompareFunction("CompareRealBucket", CompareRealBucket);
  RegisterCompareFunction("CompareDateTimeBucket", CompareDateTimeBucket);
  RegisterCompareFunction("CompareSingleBucket", CompareSingleBucket);
  RegisterCompareFunction("CompareDoubleBucket", CompareDoubleBucket);
  RegisterCompareFunction("CompareExtendedBucket", CompareExtendedBucket);
  RegisterCompareFunction("CompareCompBucket", CompareCompBucket);

  RegisterHashFunction("HashStringCombo", HashStringCombo);
  RegisterHashFunction("HashStringCombo2", HashStringCombo2);
  RegisterHashFunction("HashShortIntBucket", HashShortIntBucket);
  RegisterHashFunction("HashIntegerBucket", HashIntegerBucket);
  RegisterHashFunction("HashLongIntBucket", HashLongIntBucket);
  RegisterHashFunction("HashByteBucket", HashByteBucket);
  RegisterHashFunction("HashWordBucket", HashWordBucket);
  RegisterHashFunction("HashCharBucket", HashCharBucket);
  RegisterHashFunction("HashRealBucket", HashRealBucket);
  RegisterHashFunction("HashDateTimeBucket", HashDateTimeBucket);
  RegisterHashFunction("HashSingleBucket", HashSingleBucket);
  RegisterHashFunction("HashDoubleBucket", HashDoubleBucket);
  RegisterHashFunction("HashExtendedBucket", HashExtendedBucket);
  RegisterHashFunction("HashCompBucket", HashCompBucket);

  // Module ObjPerst: the platform's picture classes and memory stream.
  RegisterStreamable(TBitmap::StaticClass(), {ReadGraphic}, {WriteGraphic});
  RegisterStreamable(TIcon::StaticClass(), {ReadGraphic}, {WriteGraphic});
  RegisterStreamable(TMetafile::StaticClass(), {ReadGraphic}, {WriteGraphic});
  RegisterStreamable(TMemoryStream::StaticClass(), {ReadMemoryStream}, {WriteMemoryStream});
}

namespace {

// Registers at load time and destroys the registries at shut-down.
struct ObjPerstLifetime {
  ObjPerstLifetime() { RegisterObjPerstStartup(); }
  ~ObjPerstLifetime() { DestroyRegistries(); }
  ObjPerstLifetime(const ObjPerstLifetime&) = delete;
  ObjPerstLifetime& operator=(const ObjPerstLifetime&) = delete;
};

const ObjPerstLifetime gLifetime;

}  // namespace

}  // namespace corvid
