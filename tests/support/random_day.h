// Random small days for comparing the program with the plain model: few
// terminals shared by all six files, many triggers, equal times, odd but
// valid line forms, and now and then a fault that must stop the run.
#pragma once

#include <cstdint>

#include "settlement_run.h"

// The same seed always gives the same day.
Day Random_Day(std::uint64_t seed);
