#include "Day_Snapshot.h"

#include "Audit_Text.h"
#include "Paths.h"
#include "Settlement_Error.h"

Day_Snapshot::Day_Snapshot(const std::string& dir) : dir_(dir) {
  for (int i = 0; i < 9; ++i) files_[i] = Os_Stamp_Of(Path(i));
}

std::string Day_Snapshot::Path(int file) const {
  return Path_In(dir_, AUDITED_FILES[file]);
}

bool Day_Snapshot::Missing(int file) const {
  return files_[file].status == Os_File_Stamp::MISSING;
}

void Day_Snapshot::Check_Opened(int file, Os_File opened) const {
  if (Os_Stamp(opened) == files_[file]) return;
  int none = -1;
  changed_.compare_exchange_strong(none, file);
}

void Day_Snapshot::Check_Unchanged() const {
  int changed = changed_.load();
  for (int i = 0; i < 9 && changed < 0; ++i)
    if (!(Os_Stamp_Of(Path(i)) == files_[i])) changed = i;
  if (changed >= 0)
    Fail(AUDITED_FILES[changed], 0, "changed while being audited");
}
