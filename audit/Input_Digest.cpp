#include "Input_Digest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "Audit_Check.h"
#include "Audit_Text.h"
#include "File_IO.h"

namespace {

constexpr std::size_t HASH_BLOCK = 4 << 20;

}  // namespace

File_Digest Digest_File(const char* path) {
  Input_File file(path);
  File_Digest digest;
  digest.name = path;
  Sha256 hash;
  std::unique_ptr<char[]> block(new char[HASH_BLOCK]);
  while (std::size_t n = file.Read(block.get(), HASH_BLOCK)) {
    hash.Update(block.get(), n);
    digest.size += n;
  }
  digest.sha256 = hash.Finish();
  return digest;
}

File_Digest Digest_Bytes(const char* name, std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return {name, bytes.size(), hash.Finish()};
}

// A summary is one short line: a longer file is read only this far, which
// is enough to show it is not a summary.
constexpr std::size_t SUMMARY_LIMIT = 4096;

std::vector<File_Digest> Digest_Inputs(Found_Outputs& found) {
  std::vector<File_Digest> digests;
  for (int i = 0; i < 6; ++i) digests.push_back(Digest_File(AUDITED_FILES[i]));
  found.history_file = Mapped_File(HISTORY_FILE);
  found.history = found.history_file.Bytes();
  digests.push_back(Digest_Bytes(HISTORY_FILE, found.history));
  found.bus_summary = Read_File_Start(BUS_SUMMARY_FILE, SUMMARY_LIMIT);
  digests.push_back(Digest_Bytes(BUS_SUMMARY_FILE, found.bus_summary));
  found.metro_summary = Read_File_Start(METRO_SUMMARY_FILE, SUMMARY_LIMIT);
  digests.push_back(Digest_Bytes(METRO_SUMMARY_FILE, found.metro_summary));
  return digests;
}
