// hash_key_probe: prints the process's hash key (32 hex digits, one line),
// then the transfer history that the separation gives for the day in the
// working directory. The tests run it twice to see two keys and one history.
#include <cstdio>
#include <exception>
#include <string>

#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "Keyed_Hash.h"

int main() {
  try {
    const Hash_Key& key = Process_Hash_Key();
    std::printf("%016llx%016llx\n", static_cast<unsigned long long>(key.k0),
                static_cast<unsigned long long>(key.k1));
    Create_Settlement_State();
    HistoryData_Reader_Interface("");
    std::string history;
    Unsettled_Journeys unsettled;
    Separate_Transfers(history, unsettled);
    unsettled.Raise_First();
    std::fwrite(history.data(), 1, history.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "hash_key_probe: %s\n", error.what());
    return 1;
  }
}
