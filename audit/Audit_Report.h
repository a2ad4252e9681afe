// The readable report of an audit, printed on standard output.
#pragma once

#include <string>

#include "Audit_Outcome.h"

std::string Format_Report(const Audit_Outcome& outcome);
