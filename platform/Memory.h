#pragma once
// The process's heap: giving freed memory back to the system.

namespace Platform {

// Returns the free pages of the heap to the system (after a large load was freed, for instance); the heap
// otherwise keeps them for later allocations.
void ReleaseFreeMemory();

}  // namespace Platform
