#include "Standard_Streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool Open_Missing_Standard_Streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one, since those below are open.
    int opened = ::open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}
