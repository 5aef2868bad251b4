#pragma once
/// The one switch that says which vector code runs in this process.
///
/// Every piece of hand-vectorised or per-instruction-set code (the vector math library, the
/// noise, the textures' chunk loops, the packed pixel conversions, the stereo composition)
/// asks this module which level to run instead of asking the processor itself. The level is
/// decided once per process, at the first question, from the processor's features and the
/// LOOM_ISA environment variable, and never changes after that. All levels give the same
/// bits; they differ only in speed.
///
/// LOOM_ISA names a level (scalar, base, avx2, avx512; "sse2" is read as base). A level the
/// processor cannot run, and a name not in that list, leave the processor's best level. No
/// function allocates, locks after the first call, or throws; all are safe on any thread.

#include <cstdint>

namespace loom {

enum class VectorLevel : std::uint8_t {
    /// One value at a time: the vector kernels are not used.
    kScalar,
    /// The vectors every processor of the architecture has (SSE2 on x86-64).
    kBase,
    /// AVX2 (256-bit vectors, with AVX).
    kAvx2,
    /// AVX-512 foundation with the byte/word, double/quad and vector-length sets (F, BW,
    /// DQ, VL), and FMA; every processor with AVX-512 since Skylake-SP has them.
    kAvx512,
};

/// Sets a kernel may need beyond its level's own.
enum class VectorExtension : std::uint8_t {
    kAvx512Vnni,  ///< AVX-512 VNNI (16-bit multiply-adds into 32 bits)
    kAvx512Vbmi,  ///< AVX-512 VBMI (byte permutes across the whole vector)
};

/// The level this process runs.
VectorLevel ActiveVectorLevel() noexcept;

/// Whether code written for `extension` may run: the active level is AVX-512 and the
/// processor has the extension.
bool ActiveVectorExtension(VectorExtension extension) noexcept;

/// Whether this processor can run `level` (scalar and base always).
bool ProcessorRunsVectorLevel(VectorLevel level) noexcept;

/// The level a LOOM_ISA value selects on a processor whose best level is `best`: the named
/// level, at most `best`; `best` for a null or unknown name.
VectorLevel VectorLevelNamed(const char* name, VectorLevel best) noexcept;

/// Whether this processor has `extension`, whatever the active level (tests and benchmarks
/// that run a chosen level; kernels ask ActiveVectorExtension).
bool ProcessorHasVectorExtension(VectorExtension extension) noexcept;

/// "scalar", "base", "avx2" or "avx512": the names LOOM_ISA takes.
const char* VectorLevelName(VectorLevel level) noexcept;

}  // namespace loom
