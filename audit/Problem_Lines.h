// Why an audited day is not consistent, in a few lines: what fare-audit
// says on standard error and what the ledger keeps of a day it refuses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Audit_Outcome;

// One line each, without the program's name: the first problem of the
// payment files as the settlement would name it and, when there are more,
// "N MORE" with how many there are in all; the outputs not there yet; or
// each output that differs. None for a consistent day.
std::vector<std::string> Problem_Lines(const Audit_Outcome& outcome,
                                       std::string_view more);
