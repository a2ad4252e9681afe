// Recomputation of a day's settlement with the settlement library itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "Audit_Figures.h"
#include "Journey_Observer.h"
#include "Load_Observer.h"

// Settles the payment files of directory dir as the settlement program
// does, keeping every journey's figures; sink (may be null) gets
// each journey, and history the bytes of the transfer history in order (as
// Separate_Transfers hands them). The loading tells lines (may be null) of
// every record line, and then loaded() that it has read every file. A
// journey that cannot be apportioned is added to unsettled and left out of
// the figures. Throws Settlement_Error for missing or malformed input.
Audit_Figures Recompute_Settlement(
    const std::string& dir, Journey_Observer* sink,
    Unsettled_Journeys& unsettled,
    const std::function<void(std::string_view)>& history,
    Load_Observer* lines = nullptr,
    const std::function<void()>& loaded = nullptr);
