#include "Program_Name.h"

namespace {

const char* program_name = "fare-settlement";

}  // namespace

void Set_Program_Name(const char* program) { program_name = program; }

const char* Program_Name() { return program_name; }
