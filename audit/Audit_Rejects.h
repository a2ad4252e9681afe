// Rejects files: for each payment file with problems, the lines to send
// back to its source, as DIR/paymentData_NNNN.rejects.csv.
#pragma once

#include <string>
#include <vector>

#include "Audit_Scan.h"

// The rejects file of one payment file: RFC 4180, CRLF line ends, the
// header "line,problem,text", one row per problem, the text as it stood.
std::string Format_Rejects(const File_Problems& problems);

// The name of the rejects file of payment file "paymentData_NNNN.txt".
std::string Rejects_Name(const std::string& payment_file);

// Refuses (Settlement_Error) a rejects directory that is not a directory.
void Check_Rejects_Dir(const std::string& dir);

// Writes each file with problems atomically into dir and removes the
// rejects file of each clean one; returns the paths written.
std::vector<std::string> Write_Rejects(const std::string& dir,
                                       const Scan_Result& scan);
