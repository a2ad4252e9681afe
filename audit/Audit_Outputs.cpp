#include "Audit_Outputs.h"

#include <utility>
#include <vector>

#include "Audit_Options.h"
#include "Audit_Rejects.h"
#include "Audit_Text.h"
#include "Os.h"
#include "Paths.h"
#include "Settlement_Error.h"

std::optional<Staged_File> Open_Output(const std::string& path) {
  std::optional<Staged_File> file;
  if (!path.empty()) file.emplace(path, true);
  return file;
}

void Check_Outputs_Apart(const Audit_Options& options) {
  std::vector<std::pair<const char*, std::string>> outputs;
  for (auto [name, path] :
       {std::pair{"--journeys", &options.journeys_csv},
        std::pair{"--json", &options.json}, std::pair{"--html", &options.html}})
    if (!path->empty()) outputs.emplace_back(name, Absolute_Path(*path));
  if (!options.rejects_dir.empty())
    for (int i = 0; i < 6; ++i)
      outputs.emplace_back(
          "--rejects",
          Absolute_Path(options.rejects_dir) + "/" +
              Rejects_Name(Day_Folder_Name(options.dir), AUDITED_FILES[i]));
  std::vector<std::string> inputs;
  for (const char* file : AUDITED_FILES) inputs.push_back(file);
  inputs.push_back(FLAG_FILE);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string& path = outputs[i].second;
    if (Os_Kind_Of(path) == Os_Kind::DIRECTORY)
      Fail(path, 0, std::string(outputs[i].first) + " names a directory");
    for (std::size_t j = 0; j < i; ++j) {
      if (Same_File(path, outputs[j].second))
        Fail(path, 0,
             std::string("named by both ") + outputs[j].first + " and " +
                 outputs[i].first);
    }
    for (const std::string& input : inputs) {
      if (Same_File(path, options.dir + "/" + input))
        Fail(path, 0,
             std::string(outputs[i].first) + " names " + input +
                 ", a file the audit reads");
    }
  }
}

void Write_Output(std::optional<Staged_File>& file, const std::string& bytes,
                  Output_Errors& errors) {
  if (!file) return;
  errors.Try([&] {
    file->Write(bytes);
    file->Finish(false);
    file->Publish();
  });
  // A temporary that failed goes now, not at exit.
  file.reset();
}
