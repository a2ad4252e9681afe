#include "Stop_Signals.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "Os.h"
#include "Program_Name.h"
#include "Settlement_Error.h"
#include "Staged_File.h"

namespace {

// Removes the temporaries and says so on standard error. Nothing is
// published after. It allocates nothing: memory may have run out when the
// request comes.
void Stop(const char* name) {
  Remove_Unpublished_For_Good();
  char line[256];
  int length = std::snprintf(line, sizeof line, "%s: stopped by %s\n",
                             Program_Name(), name);
  if (length <= 0) return;
  // Nothing more can be done about a lost message.
  Os_Write_All(
      Os_Standard_Error(),
      std::string_view(line, std::min(sizeof line - 1, std::size_t(length))));
}

}  // namespace

void Stop_On_Signals(const char* program) {
  Set_Program_Name(program);
  Prepare_Unpublished_List();
  if (!Os_Stop_On_Requests(Stop)) Fail_Os("signal handling", "cannot start");
}
