// Sizes and SHA-256 checksums of the files an audit describes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Sha256.h"

struct File_Digest {
  std::string name;
  std::uint64_t size = 0;
  Sha256_Digest sha256{};
};

// Hashes one file in large blocks; throws Settlement_Error when it cannot
// be opened or read.
File_Digest Digest_File(const char* path);

// The digest of bytes already read from the file name.
File_Digest Digest_Bytes(const char* name, std::string_view bytes);

struct Found_Outputs;

// Digests of the six payment files, trans_history.txt and the two summary
// files of the working directory, in that order; the last three files'
// contents are kept in found for the comparison.
std::vector<File_Digest> Digest_Inputs(Found_Outputs& found);
