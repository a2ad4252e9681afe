#include "Audit_Rejects.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "Audit_Text.h"
#include "Os.h"
#include "Settlement_Error.h"
#include "Staged_File.h"

const char* const REJECTS_HEADER = "line,problem,text\r\n";

std::string Rejects_Row(const Line_Problem& problem) {
  return std::to_string(problem.line) + "," + Csv_Field(problem.problem) + "," +
         Csv_Field(problem.text) + "\r\n";
}

std::string Day_Folder_Name(const std::string& day_dir) {
  std::filesystem::path day =
      std::filesystem::absolute(day_dir).lexically_normal();
  if (!day.has_filename()) day = day.parent_path();
  return day.filename().string();
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
      if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        errors.Try([&path] { Fail_Errno(path, "cannot remove"); });
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
