#include "Audit_Rejects.h"

#include "Audit_Text.h"
#include "Os.h"
#include "Paths.h"
#include "Settlement_Error.h"
#include "Staged_File.h"

const char* const REJECTS_HEADER = "line,problem,text\r\n";

std::string Rejects_Row(const Line_Problem& problem) {
  return std::to_string(problem.line) + "," + Csv_Field(problem.problem) + "," +
         Csv_Field(problem.text) + "\r\n";
}

std::string Day_Folder_Name(const std::string& day_dir) {
  std::optional<std::string> day = Os_Absolute_Path(day_dir, true);
  if (!day)
    Fail(day_dir, 0, "cannot name the day's folder: no working directory");
  // A folder's path may end in a separator ("2026-12-09/").
  if (!day->empty() &&
      OS_PATH_SEPARATORS.find(day->back()) != std::string::npos)
    day->pop_back();
  return Base_Name(*day);
}

std::string Rejects_Name(const std::string& day,
                         const std::string& payment_file) {
  std::string stem = payment_file.substr(0, payment_file.rfind('.'));
  return day + "." + stem + ".rejects.csv";
}

void Check_Rejects_Dir(const std::string& dir) {
  Os_Kind kind = Os_Kind_Of(dir);
  if (kind == Os_Kind::MISSING)
    Fail_Os(dir, "cannot use as the rejects directory");
  if (kind != Os_Kind::DIRECTORY) Fail(dir, 0, "--rejects names no directory");
}

std::string Rejects_Files::Path(int file) const {
  return dir_ + "/" + Rejects_Name(day_, AUDITED_FILES[file]);
}

// Each payment file's rows come from the one thread that reads it.
void Rejects_Files::Add(int file, const Line_Problem& problem) {
  std::string& failure = failures_[static_cast<std::size_t>(file)];
  if (!failure.empty()) return;
  try {
    Write(file, problem);
  } catch (const Settlement_Error& error) {
    failure = error.what();
  }
}

void Rejects_Files::Write(int file, const Line_Problem& problem) {
  std::optional<Staged_File>& staged = files_[static_cast<std::size_t>(file)];
  if (!staged) {
    staged.emplace(Path(file));
    staged->Write(REJECTS_HEADER);
  }
  staged->Write(Rejects_Row(problem));
}

std::vector<std::string> Rejects_Files::Publish(Output_Errors& errors) {
  std::vector<std::string> written;
  for (int i = 0; i < 6; ++i) {
    std::optional<Staged_File>& staged = files_[static_cast<std::size_t>(i)];
    std::string path = Path(i);
    if (!failures_[static_cast<std::size_t>(i)].empty()) {
      errors.Add(failures_[static_cast<std::size_t>(i)]);
      staged.reset();
    } else if (!staged) {
      // A rejects file left from an audit of the file before it was mended.
      if (!Os_Remove(path)) {
        Os_Error error = Os_Last_Error();
        if (!error.missing) errors.Add(path + ": cannot remove: " + error.text);
      }
    } else {
      errors.Try([&] {
        staged->Finish(false);
        staged->Publish();
        written.push_back(path);
      });
    }
  }
  return written;
}
