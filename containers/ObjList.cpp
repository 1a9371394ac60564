#include "corvid/containers/ObjList.h"

namespace corvid {

// ---------------------------------------------------------------------------
// TOrderedList

TOrderedList::~TOrderedList() {
  TOrderedList::Clear();
}

// The cursor walks along with the calls and stays on the last object. The
// following node is taken before each call, so a callback may remove the
// object it was handed (but no other).
void TOrderedList::ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) {
  current_ = first_;
  for (TListNode* node = first_; node != nullptr;) {
    TListNode* next = node->Next;
    current_ = node;
    Proc(node->Obj, CallBackData);
    node = next;
  }
}

void TOrderedList::ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) {
  current_ = first_;
  for (TListNode* node = first_; node != nullptr;) {
    TListNode* next = node->Next;
    current_ = node;
    Method(node->Obj, CallBackData);
    node = next;
  }
}

void TOrderedList::Clear() {
  TListNode* node = first_;
  // Unhook the chain first, so that a destructor of a released object that
  // looks at this list sees it empty rather than half destroyed.
  first_ = last_ = nullptr;
  current_ = nullptr;
  marker_ = nullptr;
  count_ = 0;
  ++changes_;
  while (node != nullptr) {
    TListNode* next = node->Next;
    TObject* obj = node->Obj;
    node->Obj = nullptr;
    delete node;
    ReleaseObj(obj);
    node = next;
  }
}

TObject* TOrderedList::GetNthObj(std::int32_t N) {
  const std::int32_t size = GetSize();
  if (N < 1 || N > size) RaiseInvalidIndex();
  if (N < size / 2) {
    GotoFirst();
    for (std::int32_t i = 1; i < N; ++i) GotoNext();
  } else {
    GotoLast();
    for (std::int32_t i = size; i > N; --i) GotoPrev();
  }
  return current_->Obj;
}

void TOrderedList::CheckOccurrence(std::int32_t N) {
  if (N < 1) RaiseInvalidOccurrenceSought();
}

bool TOrderedList::SearchAndPosition(const TObject* Obj, std::int32_t N) {
  CheckType(Obj);
  CheckOccurrence(N);
  TComparison r = cmpGreater;
  TListNode* node = first_;
  current_ = node;
  while (node != nullptr) {
    r = compareFunc_(Obj, node->Obj);
    if (r == cmpEqual || r == cmpLess) --N;
    if (N == 0) break;
    node = node->Next;
    current_ = node;
  }
  return N == 0 && r == cmpEqual;
}

bool TOrderedList::Search(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  CheckOccurrence(Occurrence);
  TListNode* saved = static_cast<TListNode*>(current_);
  bool found = false;
  try {
    found = SearchAndPosition(Obj, Occurrence);
  } catch (...) {
    current_ = saved;  // a compare function that raises leaves the cursor alone
    throw;
  }
  if (!found) current_ = saved;
  return found;
}

void TOrderedList::LinkBefore(TListNode* Pos, TObject* Obj) {
  if (Pos == nullptr) {
    LinkAfter(last_, Obj);
    return;
  }
  auto* node = new TListNode;
  node->Obj = Obj;
  node->Next = Pos;
  node->Prev = Pos->Prev;
  if (Pos->Prev != nullptr) {
    Pos->Prev->Next = node;
  } else {
    first_ = node;
  }
  Pos->Prev = node;
  ++count_;
  ++changes_;
  current_ = node;
}

void TOrderedList::LinkAfter(TListNode* Pos, TObject* Obj) {
  auto* node = new TListNode;
  node->Obj = Obj;
  if (Pos == nullptr) {
    // At the head (also the first node of an empty list).
    node->Next = first_;
    if (first_ != nullptr) {
      first_->Prev = node;
    } else {
      last_ = node;
    }
    first_ = node;
  } else {
    node->Prev = Pos;
    node->Next = Pos->Next;
    if (Pos->Next != nullptr) {
      Pos->Next->Prev = node;
    } else {
      last_ = node;
    }
    Pos->Next = node;
  }
  ++count_;
  ++changes_;
  current_ = node;
}

void TOrderedList::Insert(TObject* Obj) {
  CheckType(Obj);
  TListNode* saved = static_cast<TListNode*>(current_);
  try {
    SearchAndPosition(Obj, 1);
    LinkBefore(static_cast<TListNode*>(current_), Obj);
  } catch (...) {
    // A compare function that raises (or a failed node allocation) leaves
    // the list and its cursor as they were.
    current_ = saved;
    throw;
  }
}

void TOrderedList::InsertFromTail(TObject* Obj, TListNode*& RunStart) {
  CheckType(Obj);
  if (last_ != nullptr) {
    const TComparison r = compareFunc_(Obj, last_->Obj);
    if (r == cmpLess || RunStart == nullptr) {
      // Somewhere before the last object, hence before the whole trailing
      // run: RunStart stays what it is.
      TOrderedList::Insert(Obj);
      return;
    }
    if (r == cmpEqual) {
      // Insert's walk would pass every object less than Obj and stop at the
      // first equal one, the start of the trailing run.
      LinkBefore(RunStart, Obj);
      RunStart = static_cast<TListNode*>(current_);
      return;
    }
  }
  // Greater than everything (or the first object): appended, and a new run.
  LinkBefore(nullptr, Obj);
  RunStart = last_;
}

bool TOrderedList::Delete(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  if (!Search(Obj, Occurrence)) return false;
  DeleteCurrent();
  return true;
}

TObject* TOrderedList::DetachCurrent() {
  if (current_ == nullptr) RaiseContainerIsEmpty();
  auto* node = static_cast<TListNode*>(current_);
  TObject* obj = node->Obj;
  node->Obj = nullptr;
  if (node->Prev != nullptr) {
    node->Prev->Next = node->Next;
  } else {
    first_ = node->Next;
  }
  if (node->Next != nullptr) {
    node->Next->Prev = node->Prev;
    current_ = node->Next;
  } else {
    last_ = node->Prev;
    current_ = last_;
  }
  if (marker_ == node) marker_ = nullptr;
  --count_;
  ++changes_;
  delete node;
  return obj;
}

bool TOrderedList::GotoFirst() {
  current_ = first_;
  return current_ != nullptr;
}

bool TOrderedList::GotoLast() {
  current_ = last_;
  return current_ != nullptr;
}

bool TOrderedList::GotoNext() {
  if (current_ == nullptr || current_ == last_) return false;
  current_ = static_cast<TListNode*>(current_)->Next;
  return true;
}

bool TOrderedList::GotoPrev() {
  if (current_ == nullptr || current_ == first_) return false;
  current_ = static_cast<TListNode*>(current_)->Prev;
  return true;
}

// ---------------------------------------------------------------------------
// TUnorderedList

void TUnorderedList::Insert(TObject* Obj) {
  CheckType(Obj);
  // No cursor on a non-empty list: append rather than lose the position.
  LinkAfter(current_ != nullptr ? static_cast<TListNode*>(current_) : last_, Obj);
}

bool TUnorderedList::Search(const TObject* Obj, std::int32_t Occurrence) {
  CheckType(Obj);
  CheckOccurrence(Occurrence);
  for (TListNode* node = first_; node != nullptr; node = node->Next) {
    if (compareFunc_(Obj, node->Obj) == cmpEqual && --Occurrence == 0) {
      current_ = node;
      return true;
    }
  }
  return false;
}

void TUnorderedList::InsertAtHead(TObject* Obj) {
  CheckType(Obj);
  LinkAfter(nullptr, Obj);
}

void TUnorderedList::InsertAtTail(TObject* Obj) {
  CheckType(Obj);
  LinkBefore(nullptr, Obj);
}

// ---------------------------------------------------------------------------
// TCircularList

bool TCircularList::GotoNext() {
  if (current_ == nullptr) return false;
  if (!TUnorderedList::GotoNext()) current_ = first_;
  return true;
}

bool TCircularList::GotoPrev() {
  if (current_ == nullptr) return false;
  if (!TUnorderedList::GotoPrev()) current_ = last_;
  return true;
}

}  // namespace corvid
