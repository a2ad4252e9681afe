// The files an audit writes besides its report: checked against what it
// reads and against each other before the audit starts, then written whole.
#pragma once

#include <optional>
#include <string>

#include "Output_Errors.h"
#include "Staged_File.h"

struct Audit_Options;

// Refuses outputs that would destroy what the audit reads, or each other:
// an output that is a directory, one given twice (a rejects file too), or
// one that is a file of the day, whether it exists yet or not (compared as
// files after following links, and by path).
void Check_Outputs_Apart(const Audit_Options& options);

// An output file asked for (none for an empty path), created under a
// temporary name before the audit starts so that an unusable path fails
// before anything is printed. A device or FIFO is written in place.
std::optional<Staged_File> Open_Output(const std::string& path);

// Writes bytes to file (if any) and publishes it, keeping a failure in
// errors; the file is closed either way, and a failed temporary removed.
void Write_Output(std::optional<Staged_File>& file, const std::string& bytes,
                  Output_Errors& errors);
