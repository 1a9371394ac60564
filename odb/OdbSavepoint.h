// A savepoint that a driver opens around a write of several statements, so
// that the write happens whole or not at all. The guard is released on
// success and rolled back when it is left by an exception (or destroyed
// unreleased); a savepoint begun outside a user transaction is its own
// outermost transaction, and the owner undoes it by rolling that
// transaction back, so that no transaction stays open after a failure.
#pragma once

#include <memory>
#include <string>

namespace corvid {

/// The engine side of savepoints: a driver implements these on its
/// connection.
class TSavepointOwner {
 public:
  virtual ~TSavepointOwner() = default;
  // Whether a transaction is open (then a savepoint nests inside it).
  virtual bool InTransaction() const = 0;
  virtual void BeginSavepoint(const std::string& Name, bool Outermost) = 0;
  // Outside a transaction this commits.
  virtual void ReleaseSavepoint(const std::string& Name, bool Outermost) = 0;
  // Undoes everything written since the savepoint began; errors are
  // swallowed (this runs while another error is on its way). False when
  // the savepoint could not be undone.
  virtual bool UndoSavepoint(const std::string& Name, bool Outermost) noexcept = 0;
};

/// A savepoint guard: released by Release(), undone when left by an exception or destroyed
/// unreleased.
class TSavepoint {
 public:
  // Begins the savepoint Name on Owner.
  TSavepoint(TSavepointOwner& Owner, std::string Name);
  ~TSavepoint();
  TSavepoint(const TSavepoint&) = delete;
  TSavepoint& operator=(const TSavepoint&) = delete;

  // Keeps what was written. Should the release fail (a failed commit), the
  // savepoint stays open and the destructor undoes it.
  void Release();
  // Undoes what was written now; false when that failed.
  bool Undo() noexcept;
  bool Outermost() const { return outermost_; }

 private:
  TSavepointOwner& owner_;
  std::string name_;
  bool outermost_;
  bool open_ = false;
};

// Runs Body under a savepoint Name of Owner.
template <class F>
void InSavepoint(TSavepointOwner& Owner, const std::string& Name, F&& Body) {
  TSavepoint savepoint(Owner, Name);
  Body();
  savepoint.Release();
}

}  // namespace corvid
