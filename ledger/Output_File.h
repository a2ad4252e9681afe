// Files the statement writes: complete under their names or not there.
#pragma once

#include <string>
#include <string_view>

// Writes bytes under a temporary name beside path and renames it over path
// when complete; a failure removes the temporary and throws a Ledger_Error
// naming path. An existing file that is not a regular file (a device, a
// FIFO) is written in place.
void Write_Output_File(const std::string& path, std::string_view bytes);

// Whether two paths name the same existing file.
bool Same_Existing_File(const std::string& a, const std::string& b);
