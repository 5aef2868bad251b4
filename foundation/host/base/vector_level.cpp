#include "foundation/host/base/vector_level.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace loom {
namespace {

constexpr VectorLevel kLevels[] = {VectorLevel::kScalar, VectorLevel::kBase, VectorLevel::kAvx2,
                                   VectorLevel::kAvx512};

VectorLevel BestLevel() noexcept {
    VectorLevel best = VectorLevel::kScalar;
    for (VectorLevel level : kLevels) {
        if (ProcessorRunsVectorLevel(level)) best = level;
    }
    return best;
}

// The one reader of LOOM_ISA.
VectorLevel PickLevel() noexcept { return VectorLevelNamed(std::getenv("LOOM_ISA"), BestLevel()); }

struct Decision {
    VectorLevel level;
    bool vnni;
    bool vbmi;
};

const Decision& Decided() noexcept {
    static const Decision decision = [] {
        const VectorLevel level = PickLevel();
        const bool avx512 = level == VectorLevel::kAvx512;
        return Decision{level, avx512 && ProcessorHasVectorExtension(VectorExtension::kAvx512Vnni),
                        avx512 && ProcessorHasVectorExtension(VectorExtension::kAvx512Vbmi)};
    }();
    return decision;
}

}  // namespace

VectorLevel ActiveVectorLevel() noexcept { return Decided().level; }

bool ActiveVectorExtension(VectorExtension extension) noexcept {
    switch (extension) {
        case VectorExtension::kAvx512Vnni:
            return Decided().vnni;
        case VectorExtension::kAvx512Vbmi:
            return Decided().vbmi;
    }
    return false;
}

bool ProcessorHasVectorExtension(VectorExtension extension) noexcept {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    switch (extension) {
        case VectorExtension::kAvx512Vnni:
            return __builtin_cpu_supports("avx512vnni") != 0;
        case VectorExtension::kAvx512Vbmi:
            return __builtin_cpu_supports("avx512vbmi") != 0;
    }
#endif
    (void)extension;
    return false;
}

bool ProcessorRunsVectorLevel(VectorLevel level) noexcept {
    switch (level) {
        case VectorLevel::kScalar:
        case VectorLevel::kBase:
            return true;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        case VectorLevel::kAvx2:
            return __builtin_cpu_supports("avx2") != 0;
        case VectorLevel::kAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
        default:
            return false;
#endif
    }
    return false;
}

VectorLevel VectorLevelNamed(const char* name, VectorLevel best) noexcept {
    if (!name) return best;
    if (std::strcmp(name, "sse2") == 0) return std::min(VectorLevel::kBase, best);
    for (VectorLevel level : kLevels) {
        // A level above the processor's best is not trusted.
        if (std::strcmp(name, VectorLevelName(level)) == 0) return std::min(level, best);
    }
    return best;
}

const char* VectorLevelName(VectorLevel level) noexcept {
    switch (level) {
        case VectorLevel::kBase:
            return "base";
        case VectorLevel::kAvx2:
            return "avx2";
        case VectorLevel::kAvx512:
            return "avx512";
        case VectorLevel::kScalar:
            break;
    }
    return "scalar";
}

}  // namespace loom
