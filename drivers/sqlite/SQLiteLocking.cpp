// Table locks of the SQLite driver: a lock file "<database>-corvid.lck"
// beside the database holds one byte per table (at a hash of its name),
// locked shared by every open of the table and exclusively by an exclusive
// open, with open-file-description locks, so that they hold against every
// other connection in any process.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/odb/OdbSchema.h"

namespace corvid::sqlite {

namespace {

// 64-bit FNV-1a: the lock byte of a table in the lock file.
off_t LockOffset(const std::string& Table) {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : LowerName(Table)) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return static_cast<off_t>(h >> 2);  // positive, below 2^62
}

bool SetLock(int Fd, off_t Offset, short Type) {
  struct flock l;
  std::memset(&l, 0, sizeof l);
  l.l_type = Type;
  l.l_whence = SEEK_SET;
  l.l_start = Offset;
  l.l_len = 1;
  return fcntl(Fd, F_OFD_SETLK, &l) == 0;
}

}  // namespace

void TConnection::LockTable(const std::string& Table, bool Exclusive) {
  if (memory_) return;  // a private database: nobody else can reach it
  if (lockFd_ < 0) {
    lockFd_ = ::open(lockFileName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) {
      // Without a lock file (a read-only folder) nothing can be excluded:
      // an exclusive open is refused, a shared one goes ahead unguarded.
      if (Exclusive) {
        RaiseOdb<EOdbFileLockingNotSupported>("cannot create the lock file " + lockFileName_);
      }
      return;
    }
  }
  const std::string key = LowerName(Table);
  TTableLock& l = locks_[key];
  TTableLock want = l;
  (Exclusive ? want.Exclusive : want.Shared) += 1;
  const short type = want.Exclusive > 0 ? F_WRLCK : F_RDLCK;
  const short had = l.Exclusive > 0 ? F_WRLCK : (l.Shared > 0 ? F_RDLCK : F_UNLCK);
  if (type != had && !SetLock(lockFd_, LockOffset(Table), type)) {
    if (l.Shared == 0 && l.Exclusive == 0) locks_.erase(key);
    RaiseOdb<EOdbError>(Exclusive ? "the table " + Table + " is in use by another connection"
                                  : "the table " + Table +
                                        " is opened exclusively by another connection");
  }
  l = want;
}

void TConnection::UnlockTable(const std::string& Table, bool Exclusive) {
  if (memory_ || lockFd_ < 0) return;
  auto it = locks_.find(LowerName(Table));
  if (it == locks_.end()) return;
  TTableLock& l = it->second;
  (Exclusive ? l.Exclusive : l.Shared) -= 1;
  const short type = l.Exclusive > 0 ? F_WRLCK : (l.Shared > 0 ? F_RDLCK : F_UNLCK);
  SetLock(lockFd_, LockOffset(Table), type);
  if (type == F_UNLCK) locks_.erase(it);
}

}  // namespace corvid::sqlite
