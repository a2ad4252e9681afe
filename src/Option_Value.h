// The value of a command-line option, read alike by the programs that take
// options.
#pragma once

#include <string>
#include <string_view>

// The value of the option at argv[i] named name, from "--name=value" or the
// next argument (i then moves on to it). Refuses, by calling refuse (which
// must throw) with needs, a missing or empty value, and with needs and
// ", not 'VALUE'" a value taken from the next argument that starts with
// "--": an option whose value was left out (a file of such a name can be
// given as ./--x).
std::string Option_Value(int argc, const char* const* argv, int& i,
                         std::string_view name, const std::string& needs,
                         void (*refuse)(const std::string& message));
