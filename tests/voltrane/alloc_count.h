#pragma once
// Every allocation through operator new in the test program is counted.

namespace loomtest {

/// Allocations made so far by any thread.
long AllocationCount();

}  // namespace loomtest
