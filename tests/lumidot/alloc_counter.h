#pragma once
// Heap allocations made by this process so far (every thread).

namespace lumidottest {
long Allocations();
}
