#include "Whole_File.h"

#include "Os.h"
#include "Settlement_Error.h"

void Write_Whole_File(const char* path, std::string_view bytes) {
  // Without waiting: a FIFO with no reader fails instead of hanging.
  // Not truncated first: a write that fails leaves the old bytes.
  Os_File file = Os_Open_For_Writing(path, true);
  if (file == OS_NO_FILE) Fail_Os(path, "cannot write");
  if (!Os_Write_All(file, bytes) || !Os_Truncate_Regular(file, bytes.size())) {
    Os_Error error = Os_Last_Error();
    Os_Close(file);
    Fail(path, 0, "cannot write: " + error.text);
  }
  if (!Os_Close(file)) Fail_Os(path, "cannot write");
}
