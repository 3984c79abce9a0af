// Allocation fault injection for tests: the foundation library's allocations
// (allocators, pools, hash tables, copies) ask vyr_fault_alloc() first, so a
// test can make the n-th next allocation fail and check the failure path.
#pragma once

// After n more successful allocations, every following one fails; -1 switches
// injection off (the default).
void vyr_fault_inject(long n);
// True when the allocation about to be made must fail.
bool vyr_fault_alloc(void);
