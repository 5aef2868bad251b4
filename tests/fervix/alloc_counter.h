#pragma once
// Heap allocations made by this process so far (every thread).

namespace fervixtest {
long Allocations();
}
