// The three process-wide registries: streamable classes, compare functions
// and hash functions. Each is an unordered list that owns its entries and
// orders them by name (CompareString: letter case counts). The lists are
// created on first use, so modules initialised before this one can already
// register; they are destroyed at shut-down (ObjPerstStartup.cpp).
#include <mutex>
#include <unordered_map>

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {
namespace {

TComparison CompareStreamableInterface(const TObject* Left, const TObject* Right) {
  return CompareString(static_cast<const TStreamableInterface*>(Left)->Name(),
                       static_cast<const TStreamableInterface*>(Right)->Name());
}

TComparison CompareCompareFuncEntry(const TObject* Left, const TObject* Right) {
  return CompareString(static_cast<const TCompareFuncEntry*>(Left)->Name,
                       static_cast<const TCompareFuncEntry*>(Right)->Name);
}

TComparison CompareHashFuncEntry(const TObject* Left, const TObject* Right) {
  return CompareString(static_cast<const THashFuncEntry*>(Left)->Name,
                       static_cast<const THashFuncEntry*>(Right)->Name);
}

// The one lock of the system: it serialises class look-ups (and, here,
// class registration, which updates the name index the look-ups use).
// Constant-initialised, so it exists before any static initialiser runs.
std::mutex gClassLock;

struct Registries {
  TUnorderedList* classes = nullptr;
  TUnorderedList* compares = nullptr;
  TUnorderedList* hashes = nullptr;
  // Name index over the class registry's entries (keys view the entries'
  // names). Entries are only removed when the whole registry goes.
  std::unordered_map<std::string_view, TStreamableInterface*>* classIndex = nullptr;
};

Registries gRegistries;

// Each accessor creates its registry on first use and then makes sure the
// start-up registrations have run (they may be what is being looked up).
TUnorderedList& ClassRegistry() {
  if (gRegistries.classes == nullptr) {
    gRegistries.classes =
        new TUnorderedList(TStreamableInterface::StaticClass(), CompareStreamableInterface);
    gRegistries.classIndex = new std::unordered_map<std::string_view, TStreamableInterface*>();
    RegisterObjPerstStartup();
  }
  return *gRegistries.classes;
}

TUnorderedList& CompareRegistry() {
  if (gRegistries.compares == nullptr) {
    gRegistries.compares =
        new TUnorderedList(TCompareFuncEntry::StaticClass(), CompareCompareFuncEntry);
    RegisterObjPerstStartup();
  }
  return *gRegistries.compares;
}

TUnorderedList& HashRegistry() {
  if (gRegistries.hashes == nullptr) {
    gRegistries.hashes = new TUnorderedList(THashFuncEntry::StaticClass(), CompareHashFuncEntry);
    RegisterObjPerstStartup();
  }
  return *gRegistries.hashes;
}

// Caller holds gClassLock and has made sure the registry exists (creating it
// runs registrations, which take the lock themselves).
TStreamableInterface* FindLocked(std::string_view Name) {
  const auto it = gRegistries.classIndex->find(Name);
  return it == gRegistries.classIndex->end() ? nullptr : it->second;
}

}  // namespace

// --- TStreamableInterface ----------------------------------------------------

TStreamableInterface::TStreamableInterface(TClass AClass, std::vector<TObjectReadProc> ReadProcs,
                                           std::vector<TObjectWriteProc> WriteProcs)
    : name_(AClass.Name()),
      class_(AClass),
      readProcs_(std::move(ReadProcs)),
      writeProcs_(std::move(WriteProcs)),
      defaultWriteVersion_(static_cast<std::uint16_t>(writeProcs_.size())) {
  if (name_.size() < 256 && IsAscii(name_)) {
    encodedHeader_ = "TPF0";
    encodedHeader_ += static_cast<char>(vaString);
    encodedHeader_ += static_cast<char>(name_.size());
    encodedHeader_ += name_;
  }
}

// --- Streamable classes -------------------------------------------------------

void RegisterStreamable(TClass AClass, const std::vector<TObjectReadProc>& ReadProcs,
                        const std::vector<TObjectWriteProc>& WriteProcs) {
  if (!AClass) RaiseInvalidObjectType();
  // Versions are 16-bit: keep at most 65,535 procedures of each kind.
  auto reads = ReadProcs;
  auto writes = WriteProcs;
  if (reads.size() > 65535) reads.resize(65535);
  if (writes.size() > 65535) writes.resize(65535);
  auto entry = std::make_unique<TStreamableInterface>(AClass, std::move(reads), std::move(writes));
  TUnorderedList& registry = ClassRegistry();
  std::lock_guard<std::mutex> lock(gClassLock);
  if (FindLocked(entry->Name()) != nullptr) {
    const std::string name = entry->Name();
    entry.reset();
    RaiseDuplicateRegisteredClass(name);
  }
  registry.Insert(entry.get());
  TStreamableInterface* e = entry.release();
  gRegistries.classIndex->emplace(e->Name(), e);
}

const TStreamableInterface* FindStreamableInterface(std::string_view Name) {
  ClassRegistry();
  std::lock_guard<std::mutex> lock(gClassLock);
  return FindLocked(Name);
}

TClass GetRegisteredClass(const std::string& Name) {
  const TStreamableInterface* e = FindStreamableInterface(Name);
  if (e == nullptr) RaiseClassNotRegistered(Name);
  return e->Class();
}

std::unique_ptr<TObject> TStreamableInterface::CopyWithProc(const TObject* Source) const {
  const TObjectCopyProc proc = CopyProc();
  if (proc == nullptr) return nullptr;
  std::unique_ptr<TObject> copy = BlankInstance();
  if (!copy) RaiseClassNotRegistered(name_);
  proc(Source, copy.get());
  return copy;
}

const TStreamableInterface& StreamableInterfaceOf(const TObject* Obj) {
  const TClass cls = Obj->ClassType();
  const TStreamableInterface* e = FindStreamableInterface(cls.Name());
  if (e == nullptr || e->Class() != cls) RaiseClassNotRegistered(std::string(cls.Name()));
  return *e;
}

void SetCopyProc(TClass AClass, TObjectCopyProc Proc) {
  ClassRegistry();
  std::lock_guard<std::mutex> lock(gClassLock);
  TStreamableInterface* e = FindLocked(AClass.Name());
  if (e == nullptr || e->Class() != AClass) RaiseClassNotRegistered(std::string(AClass.Name()));
  e->copyProc_.store(Proc, std::memory_order_release);
}

void SetDefaultWriteProcVersion(TClass AClass, std::uint16_t Version) {
  ClassRegistry();
  std::lock_guard<std::mutex> lock(gClassLock);
  TStreamableInterface* e = FindLocked(AClass.Name());
  if (e == nullptr) RaiseClassNotRegistered(std::string(AClass.Name()));
  if (Version == 0 || Version > e->writeProcs_.size()) RaiseClassVersionNotRegistered();
  e->defaultWriteVersion_.store(Version, std::memory_order_relaxed);
}

// --- Compare and hash functions ------------------------------------------------

namespace {

// Registers Entry in Registry unless its name is present. A name search
// leaves the cursor on the entry found, a failed one where it was; the new
// entry goes after the cursor.
template <class Entry>
bool InsertUnique(TUnorderedList& Registry, std::unique_ptr<Entry> E) {
  if (Registry.Search(E.get())) return false;
  Registry.Insert(E.get());
  E.release();
  return true;
}

template <class Entry, class Func>
Entry* FindByName(TUnorderedList& Registry, const std::string& Name) {
  Entry probe(Name, Func{});
  if (!Registry.Search(&probe)) return nullptr;
  return static_cast<Entry*>(Registry.GetCurrentObj());
}

// Walks from the first entry; the cursor stays on the entry returned.
template <class Entry, class Func>
const std::string* FindByFunc(TUnorderedList& Registry, Func F) {
  if (!Registry.GotoFirst()) return nullptr;
  do {
    const auto* e = static_cast<const Entry*>(Registry.GetCurrentObj());
    if (e->Func == F) return e->Name.empty() ? nullptr : &e->Name;
  } while (Registry.GotoNext());
  return nullptr;
}

}  // namespace

void RegisterCompareFunction(const std::string& Name, TCompareFunc Func) {
  TUnorderedList& registry = CompareRegistry();
  if (!InsertUnique(registry, std::make_unique<TCompareFuncEntry>(Name, Func))) {
    RaiseDuplicateCompareFunc(Name);
  }
}

TCompareFunc GetCompareFunc(const std::string& Name) {
  auto* e = FindByName<TCompareFuncEntry, TCompareFunc>(CompareRegistry(), Name);
  if (e == nullptr) RaiseCompareFuncNotRegistered();
  return e->Func;
}

std::string GetCompareFuncName(TCompareFunc Func) {
  const std::string* name = FindByFunc<TCompareFuncEntry>(CompareRegistry(), Func);
  if (name == nullptr) RaiseCompareFuncNotRegistered();
  return *name;
}

void RegisterHashFunction(const std::string& Name, THashFunc Func) {
  TUnorderedList& registry = HashRegistry();
  if (!InsertUnique(registry, std::make_unique<THashFuncEntry>(Name, Func))) {
    RaiseDuplicateHashFunc(Name);
  }
}

THashFunc GetHashFunc(const std::string& Name) {
  auto* e = FindByName<THashFuncEntry, THashFunc>(HashRegistry(), Name);
  if (e == nullptr) RaiseHashFuncNotRegistered();
  return e->Func;
}

std::string GetHashFuncName(THashFunc Func) {
  const std::string* name = FindByFunc<THashFuncEntry>(HashRegistry(), Func);
  if (name == nullptr) RaiseHashFuncNotRegistered();
  return *name;
}

// --- Shut-down -------------------------------------------------------------------

void DestroyRegistries() {
  // Hash, compare, then class registry; each destroys its entries.
  delete gRegistries.hashes;
  gRegistries.hashes = nullptr;
  delete gRegistries.compares;
  gRegistries.compares = nullptr;
  std::lock_guard<std::mutex> lock(gClassLock);
  delete gRegistries.classIndex;
  gRegistries.classIndex = nullptr;
  delete gRegistries.classes;
  gRegistries.classes = nullptr;
}

}  // namespace corvid
