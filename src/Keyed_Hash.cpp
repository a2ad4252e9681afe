#include "Keyed_Hash.h"

#include "Os.h"
#include "Settlement_Error.h"

namespace {

Hash_Key Draw_Hash_Key() {
  Hash_Key key;
  if (!Os_Random_Bytes(&key, sizeof key))
    throw Settlement_Error("cannot draw a hash key from the system: " +
                           Os_Last_Error().text);
  return key;
}

}  // namespace

const Hash_Key& Process_Hash_Key() {
  static const Hash_Key key = Draw_Hash_Key();
  return key;
}
