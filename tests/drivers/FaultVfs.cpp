#include "FaultVfs.h"

#include <signal.h>
#include <sqlite3.h>

#include <atomic>
#include <stdexcept>

namespace corvid::contract {

namespace {

std::atomic<bool> failLogWrites{false};
std::atomic<bool> killAtNextSync{false};

sqlite3_vfs* real = nullptr;  // the layer replaced
sqlite3_vfs shim;

// An open file of the shim: its own header, then the real layer's file.
struct TShimFile {
  sqlite3_file Base;
  bool Log;  // a write-ahead log
  sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

TShimFile* Shim(sqlite3_file* F) {
  return reinterpret_cast<TShimFile*>(F);
}
sqlite3_file* Real(sqlite3_file* F) {
  return Shim(F)->Real();
}

int Close(sqlite3_file* F) {
  return Real(F)->pMethods->xClose(Real(F));
}
int Read(sqlite3_file* F, void* Buf, int N, sqlite3_int64 Off) {
  return Real(F)->pMethods->xRead(Real(F), Buf, N, Off);
}
int Write(sqlite3_file* F, const void* Buf, int N, sqlite3_int64 Off) {
  if (Shim(F)->Log && failLogWrites) return SQLITE_FULL;
  return Real(F)->pMethods->xWrite(Real(F), Buf, N, Off);
}
int Truncate(sqlite3_file* F, sqlite3_int64 Size) {
  return Real(F)->pMethods->xTruncate(Real(F), Size);
}
int Sync(sqlite3_file* F, int Flags) {
  const int rc = Real(F)->pMethods->xSync(Real(F), Flags);
  if (Shim(F)->Log && killAtNextSync) raise(SIGKILL);
  return rc;
}
int FileSize(sqlite3_file* F, sqlite3_int64* Size) {
  return Real(F)->pMethods->xFileSize(Real(F), Size);
}
int Lock(sqlite3_file* F, int L) {
  return Real(F)->pMethods->xLock(Real(F), L);
}
int Unlock(sqlite3_file* F, int L) {
  return Real(F)->pMethods->xUnlock(Real(F), L);
}
int CheckReservedLock(sqlite3_file* F, int* Out) {
  return Real(F)->pMethods->xCheckReservedLock(Real(F), Out);
}
int FileControl(sqlite3_file* F, int Op, void* Arg) {
  return Real(F)->pMethods->xFileControl(Real(F), Op, Arg);
}
int SectorSize(sqlite3_file* F) {
  return Real(F)->pMethods->xSectorSize(Real(F));
}
int DeviceCharacteristics(sqlite3_file* F) {
  return Real(F)->pMethods->xDeviceCharacteristics(Real(F));
}
int ShmMap(sqlite3_file* F, int Page, int Size, int Extend, void volatile** Out) {
  return Real(F)->pMethods->xShmMap(Real(F), Page, Size, Extend, Out);
}
int ShmLock(sqlite3_file* F, int Offset, int N, int Flags) {
  return Real(F)->pMethods->xShmLock(Real(F), Offset, N, Flags);
}
void ShmBarrier(sqlite3_file* F) {
  Real(F)->pMethods->xShmBarrier(Real(F));
}
int ShmUnmap(sqlite3_file* F, int Delete) {
  return Real(F)->pMethods->xShmUnmap(Real(F), Delete);
}
int Fetch(sqlite3_file* F, sqlite3_int64 Off, int N, void** Out) {
  return Real(F)->pMethods->xFetch(Real(F), Off, N, Out);
}
int Unfetch(sqlite3_file* F, sqlite3_int64 Off, void* P) {
  return Real(F)->pMethods->xUnfetch(Real(F), Off, P);
}

const sqlite3_io_methods methods = {3,
                                    Close,
                                    Read,
                                    Write,
                                    Truncate,
                                    Sync,
                                    FileSize,
                                    Lock,
                                    Unlock,
                                    CheckReservedLock,
                                    FileControl,
                                    SectorSize,
                                    DeviceCharacteristics,
                                    ShmMap,
                                    ShmLock,
                                    ShmBarrier,
                                    ShmUnmap,
                                    Fetch,
                                    Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename Name, sqlite3_file* F, int Flags, int* OutFlags) {
  TShimFile* s = Shim(F);
  s->Log = (Flags & SQLITE_OPEN_WAL) != 0;
  const int rc = real->xOpen(real, Name, s->Real(), Flags, OutFlags);
  // The engine closes a file whose methods are set, even after a failed open.
  s->Base.pMethods = s->Real()->pMethods != nullptr ? &methods : nullptr;
  return rc;
}

}  // namespace

TFaultVfs::TFaultVfs() {
  if (real != nullptr) throw std::logic_error("one TFaultVfs at a time");
  real = sqlite3_vfs_find(nullptr);
  if (real == nullptr || real->iVersion < 1) throw std::runtime_error("no SQLite file layer");
  // Everything but opening goes straight to the real layer (which finds its
  // own data in pAppData, copied along).
  shim = *real;
  shim.pNext = nullptr;
  shim.zName = "corvid-fault";
  shim.szOsFile = static_cast<int>(sizeof(TShimFile)) + real->szOsFile;
  shim.xOpen = Open;
  if (sqlite3_vfs_register(&shim, 1) != SQLITE_OK) throw std::runtime_error("registering failed");
}

TFaultVfs::~TFaultVfs() {
  failLogWrites = false;
  killAtNextSync = false;
  sqlite3_vfs_unregister(&shim);
  sqlite3_vfs_register(real, 1);
  real = nullptr;
}

void TFaultVfs::FailLogWrites(bool On) {
  failLogWrites = On;
}

void TFaultVfs::KillAtNextSync(bool On) {
  killAtNextSync = On;
}

}  // namespace corvid::contract
