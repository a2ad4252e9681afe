// Rejects files: for each payment file with problems, the lines to send
// back to its source, as DIR/DAY.paymentData_NNNN.rejects.csv, DAY being the
// name of the audited day's folder, so that many days share one DIR.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Audit_Scan.h"
#include "Output_Errors.h"
#include "Staged_File.h"

// The header row of a rejects file, and the row of one problem: RFC 4180,
// CRLF line ends, the text as it stood.
extern const char* const REJECTS_HEADER;
std::string Rejects_Row(const Line_Problem& problem);

// The name of the folder day_dir, as its rejects files are named after it:
// "." and "DIR/" give the folder's own name. Call before the audit enters it.
std::string Day_Folder_Name(const std::string& day_dir);
// The name of the rejects file of payment file "paymentData_NNNN.txt" of
// the day in folder day: "DAY.paymentData_NNNN.rejects.csv".
std::string Rejects_Name(const std::string& day,
                         const std::string& payment_file);

// Refuses (Settlement_Error) a rejects directory that is not a directory.
void Check_Rejects_Dir(const std::string& dir);

// The rejects files of one audit, written as the scan finds the problems,
// each under a temporary name until Publish: memory stays the same however
// many problems a file has. A rejects file that cannot be written stops
// being written and is reported by Publish, never as a problem of the
// payment file.
class Rejects_Files : public Problem_Sink {
 public:
  // day is the audited folder's name (Day_Folder_Name).
  Rejects_Files(std::string dir, std::string day)
      : dir_(std::move(dir)), day_(std::move(day)) {}
  // Adds problem's row to the rejects file of payment file `file`.
  void Add(int file, const Line_Problem& problem) override;
  // Puts each file with rows in place and removes this day's rejects file of
  // each payment file without problems (other days' stay); returns the paths
  // written. A file that
  // could not be written or removed is added to errors instead.
  std::vector<std::string> Publish(Output_Errors& errors);

 private:
  std::string Path(int file) const;
  void Write(int file, const Line_Problem& problem);

  std::string dir_;
  std::string day_;
  std::array<std::optional<Staged_File>, 6> files_;
  std::array<std::string, 6> failures_;  // the first failed write of each
};
