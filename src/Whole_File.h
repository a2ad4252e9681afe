// Small files replaced in place, such as the flag.
#pragma once

#include <string_view>

// Replaces a small file in place with bytes (create, write over the old
// bytes, cut a regular file to their length, close), checking every step.
// A write that fails leaves the old bytes; a file of no more bytes than the
// new ones (the flag's one) is then as it was.
void Write_Whole_File(const char* path, std::string_view bytes);
