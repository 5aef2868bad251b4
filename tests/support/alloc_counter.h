#pragma once
/// Counts every allocation a test program makes through the global operator new (every
/// thread, plug-ins loaded into the program included), so that a test can show that a
/// stretch of code allocates nothing. Link the `loom_alloc_counter` library to get it.

namespace loomtest {

/// Allocations made so far in this process.
long AllocationCount();

}  // namespace loomtest
