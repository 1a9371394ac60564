/// @file
/// A typed layer over the object database: access to the current object as
/// the application's own class, iteration in index order with a range-for,
/// and a transaction that rolls back unless it is committed.
///
///   TTypedObjectFile<TContact> contacts(db, "Contacts", TContactORMapping::StaticClass());
///   contacts.Open();
///   contacts.Insert(contact);                       // stores a copy
///   for (const TContact& c : contacts.InOrder("ByName")) Print(c);
///   if (contacts.FindExact("ByName", key)) contacts.Current().SetAge(37);
///
///   TTransaction tx(db);
///   ...
///   tx.Commit();       // leaving the scope without it rolls back
///
/// Everything here is inline and calls the ordinary operations of
/// TObjectDataset, TObjectFile and TObjectDatabase; it adds checks, not
/// behaviour.
#pragma once

#include <iterator>
#include <string>

#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbFile.h"

namespace corvid {

/// The current object of Dataset as a T. EOdbObjectFileNotPositioned when
/// there is none, EInvalidObjectType (naming both classes) when it is not a
/// T. The reference stays valid until the dataset moves or gets a new
/// current object.
template <class T>
T& CurrentObjAs(const TObjectDataset& Dataset) {
  TObject* obj = Dataset.GetCurrentObj();
  if (!obj->InheritsFrom(T::StaticClass())) RaiseInvalidObjectType(T::StaticClass(), obj);
  return static_cast<T&>(*obj);
}

/// The objects of a dataset in the order of one index, for a range-for.
/// Iterating moves the dataset: begin() selects the index and goes to the
/// first object, each step to the next one. Afterwards the dataset stays on
/// that index, positioned on the last object visited (on the one where the
/// loop was left by break or an exception); nothing is restored. Each
/// element is the dataset's current object, valid until the next step.
template <class T>
class TIndexOrder {
 public:
  /// An input iterator over the dataset's current object.
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;

    iterator() = default;
    explicit iterator(TObjectFile* File) : file_(File) {}

    T& operator*() const { return CurrentObjAs<T>(*file_); }
    T* operator->() const { return &**this; }
    iterator& operator++() {
      if (!file_->FindNext()) file_ = nullptr;
      return *this;
    }
    void operator++(int) { ++*this; }
    friend bool operator==(const iterator& I, std::default_sentinel_t) {
      return I.file_ == nullptr;
    }

   private:
    TObjectFile* file_ = nullptr;
  };

  TIndexOrder(TObjectFile& File, std::string IndexName)
      : file_(File), indexName_(std::move(IndexName)) {}

  /// Selects the index and goes to its first object (none: begin() == end()).
  iterator begin() {
    file_.SetIndexName(indexName_);
    return file_.FindFirst() ? iterator(&file_) : iterator();
  }
  std::default_sentinel_t end() const { return {}; }

 private:
  TObjectFile& file_;
  std::string indexName_;
};

/// An object file whose objects are T. The constructor refuses a mapping
/// whose class is not T or a descendant of T with EInvalidObjectType
/// ("expected T, got <the mapping's class>"), so every object read from the
/// file can be used as a T. All operations of TObjectFile stay available;
/// the overloads below take and give T instead of TObject pointers.
template <class T>
class TTypedObjectFile : public TObjectFile {
 public:
  TTypedObjectFile(TObjectDatabase& Database, std::string FileName, TClass MappingClass)
      : TObjectFile(Database, std::move(FileName), MappingClass) {
    if (!GetObjectType().InheritsFrom(T::StaticClass())) {
      RaiseInvalidObjectType(T::StaticClass(), GetObjectType());
    }
  }

  using TObjectFile::FindExact;
  using TObjectFile::FindNearest;
  using TObjectFile::Insert;

  /// The current object (see CurrentObjAs).
  T& Current() const { return CurrentObjAs<T>(*this); }

  /// Stores a copy of Obj as a new record and returns the stored copy, which
  /// holds the numbers the database assigned (auto-increment fields).
  /// EOdbKeyViolation for a duplicate key (nothing is written).
  T& Insert(const T& Obj) {
    SetCurrentObj(&Obj);
    Insert();
    return Current();
  }

  /// Makes Key the current object and finds it exactly on IndexName. On a
  /// match the stored object is current; otherwise the current object is
  /// still the key, and an Update would write the key over the record the
  /// file stands on: check the result before changing anything.
  bool FindExact(const std::string& IndexName, const T& Key) {
    SetIndexName(IndexName);
    SetCurrentObj(&Key);
    return FindExact();
  }

  /// Makes Key the current object and moves to the nearest record on
  /// IndexName (the first not below the key, or the last), which becomes
  /// current.
  T& FindNearest(const std::string& IndexName, const T& Key) {
    SetIndexName(IndexName);
    SetCurrentObj(&Key);
    FindNearest();
    return Current();
  }

  /// The objects in the order of IndexName, for a range-for (see
  /// TIndexOrder for where the file stands afterwards).
  TIndexOrder<T> InOrder(std::string IndexName) {
    return TIndexOrder<T>(*this, std::move(IndexName));
  }
};

/// A transaction for the length of a scope: the constructor starts it,
/// Commit commits it, and a guard that leaves its scope uncommitted (an
/// exception, an early return) rolls it back. Errors of that roll-back are
/// swallowed, since a destructor must not throw while an exception is
/// already on its way. The datasets' current objects are not touched: after
/// a roll-back, reposition before relying on them.
class TTransaction {
 public:
  /// Starts a transaction (EOdbTransactionNotSupported and the driver's
  /// errors pass on; then there is nothing to roll back).
  explicit TTransaction(TObjectDatabase& Database) : database_(Database) {
    database_.StartTransaction();
  }
  ~TTransaction() {
    if (!active_) return;
    try {
      database_.RollBack();
    } catch (...) {
      // See the class comment.
    }
  }
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  /// Commits. Should the commit fail, the guard is still active and rolls
  /// back when it leaves its scope.
  void Commit() {
    database_.Commit();
    active_ = false;
  }
  /// Rolls back now; the destructor then does nothing.
  void RollBack() {
    active_ = false;
    database_.RollBack();
  }
  /// True until Commit or RollBack.
  bool Active() const { return active_; }

 private:
  TObjectDatabase& database_;
  bool active_ = true;
};

}  // namespace corvid
