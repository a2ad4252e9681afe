#include "Stale_Temporaries.h"

#include <cctype>
#include <optional>
#include <string>
#include <string_view>

#include "Os.h"
#include "Paths.h"
#include "Staged_File.h"

namespace {

// Whether name is a temporary of the file named stem (".NAME.PROGRAM-"),
// with six letters or digits after it, as Os_Create_Temporary makes them.
bool Is_Temporary_Of(std::string_view name, std::string_view stem) {
  if (name.size() != stem.size() + 6 || name.substr(0, stem.size()) != stem)
    return false;
  for (char c : name.substr(stem.size()))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

void Remove_Stale_Temporaries(const char* path) {
  std::string target = Link_Target(path);
  std::string prefix = Directory_Prefix(target);
  // Only in the run's own directory, which its lock covers: beside a link's
  // target elsewhere, a temporary may be another directory's run's.
  std::optional<Os_File_Id> here = Os_Identity(".");
  if (!here || here != Os_Identity(prefix.empty() ? "." : prefix)) return;
  std::string stem = Base_Name(Temporary_Stem(target));
  for (const std::string& name : Os_Directory_Names(prefix))
    if (Is_Temporary_Of(name, stem)) Os_Remove(prefix + name);
}
