#include "corvid/containers/ObjHash.h"

#include "corvid/containers/ObjArray.h"

namespace corvid {

// ---------------------------------------------------------------------------
// THashIterator

THashIterator::THashIterator(const THashTable* Table, std::int32_t Bucket)
    : table_(Table), bucket_(Bucket) {
  SkipEmptyBuckets();
}

void THashIterator::SkipEmptyBuckets() {
  // Buckets never made are empty: they are passed over without making them.
  for (bucket_ = table_->NextMadeBucket(bucket_); bucket_ <= table_->tableSize_;
       bucket_ = table_->NextMadeBucket(bucket_ + 1)) {
    node_ = table_->BucketList(bucket_, false)->begin();
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
  if (TableSize < 1 || TableSize > MaxArrayIndex) RaiseInvalidArrayCapacity();
  std::vector<std::unique_ptr<TBucketPage>> pages(
      static_cast<std::size_t>((TableSize - 1) / BucketPageSize + 1));
  THashTable::Clear();
  pages_ = std::move(pages);
  tableSize_ = TableSize;
}

TUnorderedList* THashTable::BucketList(std::int32_t Index, bool Make) const {
  if (Index < 1 || Index > tableSize_) RaiseInvalidIndex();
  std::unique_ptr<TBucketPage>& page =
      pages_[static_cast<std::size_t>((Index - 1) / BucketPageSize)];
  if (!page) {
    if (!Make) return nullptr;
    page = std::make_unique<TBucketPage>();
  }
  std::unique_ptr<TUnorderedList>& list = (*page)[(Index - 1) % BucketPageSize];
  if (!list && Make) {
    list = std::make_unique<TUnorderedList>(objClass_, compareFunc_);
    list->SetOwnership(ownership_);
  }
  return list.get();
}

TUnorderedList* THashTable::BucketOf(const TObject* Obj, bool Make) const {
  CheckType(Obj);
  // A blank table has neither buckets nor a hash function: no index is valid.
  if (tableSize_ == 0 || hashFunc_ == nullptr) RaiseInvalidIndex();
  return BucketList(hashFunc_(Obj, tableSize_), Make);
}

std::int32_t THashTable::NextMadeBucket(std::int32_t Index) const {
  for (; Index <= tableSize_; ++Index) {
    const std::unique_ptr<TBucketPage>& page =
        pages_[static_cast<std::size_t>((Index - 1) / BucketPageSize)];
    if (!page) {
      // The rest of this page: to the first bucket of the next one.
      Index += BucketPageSize - 1 - (Index - 1) % BucketPageSize;
      continue;
    }
    if ((*page)[(Index - 1) % BucketPageSize]) return Index;
  }
  return tableSize_ + 1;
}

void THashTable::SetOwnership(bool Value) {
  TContainer::SetOwnership(Value);
  for (std::int32_t i = NextMadeBucket(1); i <= tableSize_; i = NextMadeBucket(i + 1)) {
    BucketList(i, false)->SetOwnership(Value);
  }
}

void THashTable::ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) {
  for (std::int32_t i = NextMadeBucket(1); i <= tableSize_; i = NextMadeBucket(i + 1)) {
    BucketList(i, false)->ForEachCallProc(Proc, CallBackData);
  }
}

void THashTable::ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) {
  for (std::int32_t i = NextMadeBucket(1); i <= tableSize_; i = NextMadeBucket(i + 1)) {
    BucketList(i, false)->ForEachCallMethod(Method, CallBackData);
  }
}

void THashTable::Clear() {
  count_ = 0;
  for (std::int32_t i = NextMadeBucket(1); i <= tableSize_; i = NextMadeBucket(i + 1)) {
    BucketList(i, false)->Clear();
  }
}

void THashTable::Insert(TObject* Obj) {
  BucketOf(Obj, true)->InsertAtTail(Obj);
  ++count_;
}

bool THashTable::Delete(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  TUnorderedList* bucket = BucketOf(Obj, false);
  if (bucket == nullptr || !bucket->Delete(Obj, Occurrence)) return false;
  --count_;
  return true;
}

TObject* THashTable::Detach(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  TUnorderedList* bucket = BucketOf(Obj, false);
  if (bucket == nullptr || !bucket->Search(Obj, Occurrence)) return nullptr;
  TObject* found = bucket->DetachCurrent();
  --count_;
  return found;
}

TObject* THashTable::Search(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (Occurrence < 1) RaiseInvalidOccurrenceSought();
  TUnorderedList* bucket = BucketOf(Obj, false);
  return bucket != nullptr && bucket->Search(Obj, Occurrence) ? bucket->GetCurrentObj() : nullptr;
}

}  // namespace corvid
