#pragma once
/// The line composition four pixels at a time with AVX2, giving the scalar loop's results
/// bit for bit. Built for every x86-64 processor and chosen at run time.

#include "dioptrix/composite.h"

/// Composes the first pixels of the line, a multiple of four, and answers how many; the
/// caller composes the rest. Answers 0 where AVX2 is not built, and for equal eye channels.
int ComposeLineAvx2(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b,
                    int width) noexcept;
