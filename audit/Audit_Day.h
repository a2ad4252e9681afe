// The audit of one day as a whole: what a program calls to audit a
// directory and get the outcome.
#pragma once

#include <string>

#include "Audit_Outcome.h"
#include "Audit_Scan.h"
#include "Journey_Observer.h"

// Audits the settled day in dir: takes the audit's mark on dir (refused
// while a settlement is under way there), reads the nine files through
// dir (the working directory stays as it is; messages name each file by
// its name alone), recomputes and checks the day, and gives the mark up
// before it returns. journeys (may be null) is told of each settled journey and
// rejects (may be null) of every problem of a payment file; neither may
// throw. Throws Settlement_Error when the audit cannot be done: a file
// that cannot be read (a payment file such is a problem instead), one that
// changed while it was read ("FILE: changed while being audited"), a
// settlement under way; std::bad_alloc when memory runs out.
Audit_Outcome Audit_Day(const std::string& dir, long max_problems,
                        Journey_Observer* journeys, Problem_Sink* rejects);
