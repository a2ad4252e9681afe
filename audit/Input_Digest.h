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

// The digest of bytes already read from the file name.
File_Digest Digest_Bytes(const char* name, std::string_view bytes);

class Input_File;

// The digest of what is left to read of input, named name, read in large
// blocks. Throws Settlement_Error when it cannot be read.
File_Digest Digest_Input(Input_File& input, const char* name);

struct Found_Outputs;
class Day_Snapshot;

// Digests of the six payment files, trans_history.txt and the two summary
// files of the snapshot's directory, in that order, leaving out an output
// that is missing; found is told which outputs are missing and keeps the
// summaries for the comparison (each only to its first 4 KiB and a byte,
// enough to show it is not a summary). Each file opened is checked against
// snapshot. Throws Settlement_Error when a file cannot be opened or read.
std::vector<File_Digest> Digest_Inputs(Found_Outputs& found,
                                       const Day_Snapshot& snapshot);
