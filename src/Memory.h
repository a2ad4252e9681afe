// Memory straight from the system, in large pages where it offers them.
#pragma once

#include <cstddef>

#include "Large_Page.h"

// Zeroed memory straight from the system, in large pages where it offers
// them (fewer page faults for the big arrays of a large day). Throws
// std::bad_alloc when there is none.
void* Map_Memory(std::size_t bytes);
// Address space for bytes, inaccessible until Commit_Memory opens parts of
// it, starting on a large-page boundary. Costs no memory by itself. Throws
// std::bad_alloc when the system refuses it; Unmap_Memory returns it.
void* Reserve_Memory(std::size_t bytes);
// Makes bytes of a reservation from at on usable; throws std::bad_alloc
// when the system refuses.
void Commit_Memory(void* at, std::size_t bytes);
void Unmap_Memory(void* memory, std::size_t bytes);
// Touches every page of the bytes at memory (mapped, and zero), half of
// them on a second thread, so that the system backs them now, two at a
// time, rather than one by one when a single thread first writes them.
void Back_On_Two_Threads(void* memory, std::size_t bytes);
