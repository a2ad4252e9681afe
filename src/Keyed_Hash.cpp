#include "Keyed_Hash.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "File_IO.h"

namespace {

// Fills bytes from the operating system's random source, waiting only while
// the system has not yet gathered its first randomness after boot.
void System_Random_Bytes(void* bytes, std::size_t size) {
  char* at = static_cast<char*>(bytes);
  while (size > 0) {
    ssize_t n = ::getrandom(at, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw Settlement_Error(
          std::string("cannot draw a hash key from the system: ") +
          std::strerror(errno));
    at += n;
    size -= static_cast<std::size_t>(n);
  }
}

Hash_Key Draw_Hash_Key() {
  Hash_Key key;
  System_Random_Bytes(&key, sizeof key);
  return key;
}

}  // namespace

const Hash_Key& Process_Hash_Key() {
  static const Hash_Key key = Draw_Hash_Key();
  return key;
}
