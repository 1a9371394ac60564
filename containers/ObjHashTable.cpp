#include "containers/ObjHash.h"

#include "containers/ObjArray.h"

namespace corvid {

// ---------------------------------------------------------------------------
// THashIterator

THashIterator::THashIterator(const THashTable* Table, std::int32_t Bucket)
    : table_(Table), bucket_(Bucket) {
  if (table_->buckets_) SkipEmptyBuckets();
}

void THashIterator::SkipEmptyBuckets() {
  for (; bucket_ <= table_->tableSize_; ++bucket_) {
    node_ = table_->Bucket(bucket_)->begin();
    if (node_ != TListIterator()) return;
  }
  node_ = TListIterator();
}

THashIterator& THashIterator::operator++() {
  ++node_;
  if (node_ == TListIterator()) {
    ++bucket_;
    SkipEmptyBuckets();
  }
  return *this;
}

// ---------------------------------------------------------------------------
// THashTable

THashTable::THashTable(TClass AClass, TCompareFunc CompareFunc, THashFunc HashFunc,
                       std::int32_t TableSize)
    : TContainer(AClass), hashFunc_(HashFunc) {
  compareFunc_ = CompareFunc;
  CreateBuckets(TableSize);
}

THashTable::THashTable(TBlank b) : TContainer(b) {}

THashTable::~THashTable() {
  THashTable::Clear();
}

void THashTable::CreateBuckets(std::int32_t TableSize) {
  if (TableSize < 1) RaiseInvalidArrayCapacity();
  auto array = std::make_unique<TArray>(TUnorderedList::StaticClass(), CompareEqual, TableSize, 0);
  array->SetOwnership(true);
  for (std::int32_t i = 0; i < TableSize; ++i) {
    auto list = std::make_unique<TUnorderedList>(objClass_, compareFunc_);
    list->SetOwnership(ownership_);
    array->Insert(list.get());
    list.release();
  }
  THashTable::Clear();
  buckets_ = std::move(array);
  tableSize_ = TableSize;
}

TUnorderedList* THashTable::BucketList(std::int32_t Index) const {
  if (!buckets_ || Index < 1 || Index > tableSize_) RaiseInvalidIndex();
  return static_cast<TUnorderedList*>(buckets_->GetObj(Index));
}

TUnorderedList* THashTable::BucketOf(const TObject* Obj) const {
  CheckType(Obj);
  // A blank table has neither buckets nor a hash function: no index is valid.
  if (!buckets_ || hashFunc_ == nullptr) RaiseInvalidIndex();
  return BucketList(hashFunc_(Obj, tableSize_));
}

void THashTable::SetOwnership(bool Value) {
  TContainer::SetOwnership(Value);
  if (!buckets_) return;
  for (std::int32_t i = 1; i <= tableSize_; ++i) BucketList(i)->SetOwnership(Value);
}

void THashTable::ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) {
  if (!buckets_) return;
  for (std::int32_t i = 1; i <= tableSize_; ++i) BucketList(i)->ForEachCallProc(Proc, CallBackData);
}

void THashTable::ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) {
  if (!buckets_) return;
  for (std::int32_t i = 1; i <= tableSize_; ++i) {
    BucketList(i)->ForEachCallMethod(Method, CallBackData);
  }
}

void THashTable::Clear() {
  count_ = 0;
  if (!buckets_) return;
  for (std::int32_t i = 1; i <= tableSize_; ++i) BucketList(i)->Clear();
}

void THashTable::Insert(TObject* Obj) {
  BucketOf(Obj)->InsertAtTail(Obj);
  ++count_;
}

bool THashTable::Delete(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  if (!BucketOf(Obj)->Delete(Obj, Occurrence)) return false;
  --count_;
  return true;
}

TObject* THashTable::Detach(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  TUnorderedList* bucket = BucketOf(Obj);
  if (!bucket->Search(Obj, Occurrence)) return nullptr;
  TObject* found = bucket->DetachCurrent();
  --count_;
  return found;
}

TObject* THashTable::Search(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  TUnorderedList* bucket = BucketOf(Obj);
  return bucket->Search(Obj, Occurrence) ? bucket->GetCurrentObj() : nullptr;
}

}  // namespace corvid
