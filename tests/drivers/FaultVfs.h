// A pass-through SQLite file layer for tests that need the disk to fail at
// a chosen moment. While a TFaultVfs lives it is the process's default
// layer, so every connection opened meanwhile (also in a forked child) goes
// through it; it forwards everything to the layer it replaced until a fault
// is armed:
//   FailLogWrites   every write to a write-ahead log fails as on a full
//                   disk (SQLITE_FULL): the next commit fails
//   KillAtNextSync  the process kills itself (SIGKILL) right after the next
//                   sync of a write-ahead log, i.e. once a commit has
//                   reached the disk and before anything else happens
// Faults are process-wide switches; one TFaultVfs at a time.
#pragma once

namespace corvid::contract {

class TFaultVfs {
 public:
  TFaultVfs();
  ~TFaultVfs();
  TFaultVfs(const TFaultVfs&) = delete;
  TFaultVfs& operator=(const TFaultVfs&) = delete;

  static void FailLogWrites(bool On);
  static void KillAtNextSync(bool On);
};

}  // namespace corvid::contract
