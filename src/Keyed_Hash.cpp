#include "Keyed_Hash.h"

#include "Os.h"

namespace {

Hash_Key Draw_Hash_Key() {
  Hash_Key key;
  Os_Random_Bytes(&key, sizeof key);
  return key;
}

}  // namespace

const Hash_Key& Process_Hash_Key() {
  static const Hash_Key key = Draw_Hash_Key();
  return key;
}
