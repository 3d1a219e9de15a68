// Counts every global allocation of the test program (link
// tests/support/AllocationCounter.cpp into a binary of its own: it replaces
// the global operator new and delete).
#pragma once

long allocationCount();
// While set, every allocation above 1 MB fails, as on a machine out of memory.
void refuseLargeAllocations(bool refuse);
