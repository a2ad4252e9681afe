#include "Day_Lock.h"

#include "Program_Name.h"
#include "Settlement_Error.h"
#include "Standard_Streams.h"

// Audits and settlements each mark the directory; only settlements take it
// whole. An audit marks before it looks for a settlement's mark, and a
// settlement marks before it looks for audits' marks, so one of the two
// always sees the other.
Day_Lock::Day_Lock(const std::string& dir, Kind kind) : lock_(dir) {
  if (!lock_.Entered()) Fail_Os(dir, "cannot enter directory");
  if (kind == AUDIT) {
    if (lock_.Set_Mark(Os_Directory_Lock::AUDIT_MARK) &&
        lock_.Marked(Os_Directory_Lock::SETTLEMENT_MARK))
      Fail(dir, 0, "a settlement is under way in this directory");
    return;
  }
  // A file system without these locks leaves the run unprotected, as
  // before there were any, rather than unable to run.
  if (lock_.Take_Exclusive() == Os_Directory_Lock::BUSY)
    throw Settlement_Error("another run is under way in this directory");
  lock_.Set_Mark(Os_Directory_Lock::SETTLEMENT_MARK);
}

void Day_Lock::Wait_For_Audits(int max_looks,
                               void (*sleep_one_second)()) const {
  if (!lock_.Marked(Os_Directory_Lock::AUDIT_MARK)) return;
  Print_Error_Line(Program_Name(),
                   "waiting for an audit of this directory to finish");
  for (int looks = 0; looks < max_looks; ++looks) {
    sleep_one_second();
    if (!lock_.Marked(Os_Directory_Lock::AUDIT_MARK)) return;
  }
  throw Settlement_Error("gave up after " + std::to_string(max_looks) +
                         " seconds waiting for an audit of this directory "
                         "to finish");
}
