// Counts the allocations (every operator new) that one thread makes, for the
// bench and the test that show the frame path allocates nothing. Linking this
// replaces the global operator new and delete of the program.
#pragma once

namespace lumaro::tools {

// Counting on the calling thread, from 0.
void StartCountingAllocations();
void StopCountingAllocations();
// The calling thread's allocations since its last start.
long AllocationsCounted();

}  // namespace lumaro::tools
