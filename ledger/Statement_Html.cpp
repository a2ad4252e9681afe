// The month's statement as a self-contained HTML page.
#include "Ledger_Statement.h"

std::string Statement_Html(const Month_Statement&) { return ""; }
