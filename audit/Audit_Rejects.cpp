#include "Audit_Rejects.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "Audit_Csv.h"
#include "Audit_Text.h"

std::string Format_Rejects(const File_Problems& problems) {
  std::string out = "line,problem,text\r\n";
  for (const Line_Problem& p : problems)
    out += std::to_string(p.line) + "," + Csv_Field(p.problem) + "," +
           Csv_Field(p.text) + "\r\n";
  return out;
}

std::string Rejects_Name(const std::string& payment_file) {
  std::string stem = payment_file.substr(0, payment_file.rfind('.'));
  return stem + ".rejects.csv";
}

void Check_Rejects_Dir(const std::string& dir) {
  struct stat status;
  if (::stat(dir.c_str(), &status) != 0)
    Fail_Errno(dir, "cannot use as the rejects directory");
  if (!S_ISDIR(status.st_mode)) Fail(dir, 0, "--rejects names no directory");
}

std::vector<std::string> Write_Rejects(const std::string& dir,
                                       const Scan_Result& scan) {
  std::vector<std::string> written;
  for (int i = 0; i < 6; ++i) {
    std::string path = dir + "/" + Rejects_Name(AUDITED_FILES[i]);
    if (scan.problems[i].empty()) {
      // A rejects file left from an audit of the file before it was mended.
      if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        Fail_Errno(path, "cannot remove");
      continue;
    }
    Staged_File file(path);
    file.Write(Format_Rejects(scan.problems[i]));
    file.Finish(false);
    file.Publish();
    written.push_back(path);
  }
  return written;
}
