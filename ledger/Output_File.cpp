#include "Output_File.h"

#include "Ledger_Error.h"
#include "Os.h"
#include "Paths.h"

namespace {

// The temporary, closed and removed unless released.
struct Temporary {
  std::string path;
  Os_File file = OS_NO_FILE;
  ~Temporary() {
    if (file != OS_NO_FILE) Os_Close(file);
    if (!path.empty()) Os_Remove(path);
  }
};

// Writes bytes into the existing device or FIFO path leads to, in place.
void Write_In_Place(const std::string& path, std::string_view bytes) {
  Os_File file = Os_Open_For_Writing(path, false);
  if (file == OS_NO_FILE) Fail_Os(path, "cannot write");
  try {
    Os_Write_All(file, bytes, path);
  } catch (...) {
    Os_Close(file);
    throw;
  }
  if (!Os_Close(file)) Fail_Os(path, "cannot write");
}

}  // namespace

bool Same_Existing_File(const std::string& a, const std::string& b) {
  std::optional<Os_File_Id> id = Os_Identity(a);
  return id && id == Os_Identity(b);
}

void Write_Output_File(const std::string& path, std::string_view bytes) {
  switch (Os_Kind_Of(path)) {
    case Os_Kind::DIRECTORY:
      Fail_Ledger(path + ": is a directory");
    case Os_Kind::OTHER:
      return Write_In_Place(path, bytes);
    default:
      break;
  }
  // ".NAME.fare-ledger-XXXXXX", as the other programs name their own.
  Temporary temporary{Directory_Prefix(path) + "." + Base_Name(path) +
                      ".fare-ledger-XXXXXX"};
  temporary.file = Os_Create_Temporary(temporary.path);
  if (temporary.file == OS_NO_FILE) {
    temporary.path.clear();
    Fail_Os(path, "cannot write");
  }
  Os_Write_All(temporary.file, bytes, path);
  Os_File file = temporary.file;
  temporary.file = OS_NO_FILE;
  if (!Os_Close(file)) Fail_Os(path, "cannot write");
  if (!Os_Replace(temporary.path, path)) Fail_Os(path, "cannot write");
  temporary.path.clear();
}
