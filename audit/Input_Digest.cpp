#include "Input_Digest.h"

#include <memory>

#include "Audit_Check.h"
#include "Audit_Text.h"
#include "Day_Snapshot.h"
#include "Line_Reader.h"
#include "Os.h"
#include "Settlement_Error.h"

namespace {

constexpr std::size_t HASH_BLOCK = 4 << 20;

// A summary is one short line: a longer file is read only this far.
constexpr std::size_t SUMMARY_LIMIT = 4096;

// The digest of what hash was given; throws when the library refused.
Sha256_Digest Digest_Of(Sha256& hash) {
  Sha256_Digest digest = hash.Finish();
  if (!hash.Failure().empty()) Fail("SHA-256", 0, hash.Failure());
  return digest;
}

// Hashes payment file or output `file` in large blocks.
File_Digest Digest_File(int file, const Day_Snapshot& snapshot) {
  Input_File input(snapshot.Path(file), AUDITED_FILES[file]);
  snapshot.Check_Opened(file, input.File());
  return Digest_Input(input, AUDITED_FILES[file]);
}

// The first limit + 1 bytes of output `file` at most, read into a string
// sized by the file (and grown if it turns out longer).
std::string Read_Output(int file, std::size_t limit,
                        const Day_Snapshot& snapshot) {
  Input_File input(snapshot.Path(file), AUDITED_FILES[file]);
  snapshot.Check_Opened(file, input.File());
  std::size_t expected =
      static_cast<std::size_t>(Os_Size(input.File()).value_or(0));
  std::string content(std::min(expected, limit) + 1, '\0');
  std::size_t size = 0;
  while (size <= limit) {
    if (size == content.size())
      content.resize(std::min(content.size() * 2 + 4096, limit + 1));
    std::size_t n = input.Read(content.data() + size, content.size() - size);
    if (n == 0) break;
    size += n;
  }
  content.resize(size);
  return content;
}

}  // namespace

File_Digest Digest_Bytes(const char* name, std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return {name, bytes.size(), Digest_Of(hash)};
}

File_Digest Digest_Input(Input_File& input, const char* name) {
  File_Digest digest;
  digest.name = name;
  Sha256 hash;
  std::unique_ptr<char[]> block(new char[HASH_BLOCK]);
  while (std::size_t n = input.Read(block.get(), HASH_BLOCK)) {
    hash.Update(block.get(), n);
    digest.size += n;
  }
  digest.sha256 = Digest_Of(hash);
  return digest;
}

std::vector<File_Digest> Digest_Inputs(Found_Outputs& found,
                                       const Day_Snapshot& snapshot) {
  std::vector<File_Digest> digests;
  for (int i = 0; i < 6; ++i) digests.push_back(Digest_File(i, snapshot));
  // The history is compared as it is read again, not kept.
  found.missing[0] = snapshot.Missing(6);
  if (!found.missing[0]) digests.push_back(Digest_File(6, snapshot));
  std::string* contents[2] = {&found.bus_summary, &found.metro_summary};
  for (int i = 0; i < 2; ++i) {
    int file = 7 + i;
    found.missing[1 + i] = snapshot.Missing(file);
    if (found.missing[1 + i]) continue;
    *contents[i] = Read_Output(file, SUMMARY_LIMIT, snapshot);
    digests.push_back(Digest_Bytes(AUDITED_FILES[file], *contents[i]));
  }
  return digests;
}
