// Ten million random (point, parameter) cases per texture (or the count given as the
// first argument): the stored value from the vector library against the C library's.
// Prints the largest difference in units in the last place and the share of
// bit-identical values; exits 1 when any texture differs by more than one unit.
#include <cstdio>
#include <cstdlib>

#include "foundation/vecmath/vec_math.h"
#include "tests/support/exactness.h"

int main(int argc, char** argv) {
    const long long cases = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
    if (cases <= 0) {
        std::fprintf(stderr, "exactness: the case count must be positive\n");
        return 2;
    }
    struct Check {
        const char* name;
        loomtest::UlpTally (*run)(std::uint64_t, long long);
    };
    const Check checks[] = {{"nimbra", loomtest::CheckNimbra},
                            {"lumidot", loomtest::CheckLumidot},
                            {"voltrane", loomtest::CheckVoltrane},
                            {"fervix", loomtest::CheckFervix}};
    std::printf("isa %s\n", loom::vecmath::IsaName(loom::vecmath::ActiveIsa()));
    bool ok = true;
    for (const Check& c : checks) {
        const loomtest::UlpTally t = c.run(1, cases);
        std::printf("%-8s cases=%lld max_ulp=%lld identical=%.6f%%\n", c.name, t.cases,
                    static_cast<long long>(t.maxUlp), 100.0 * t.IdenticalFraction());
        std::fflush(stdout);
        if (t.maxUlp > 1) ok = false;
    }
    return ok ? 0 : 1;
}
