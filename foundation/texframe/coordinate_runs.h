#pragma once
/// Runs of consecutive samples whose coordinate has the same bits (an image row shares v):
/// whatever a pattern computes from that coordinate alone is the same for the whole run, so
/// a batch evaluates it once per run and hands it to each of the run's samples. Bits, not
/// values, are compared: 0 and -0 are different runs, and so are NaNs of different bits.
/// Plain arrays, no allocation; safe on any thread (one object per thread).

#include <bit>
#include <cstdint>
#include <type_traits>

namespace loom {

/// The runs of up to kCapacity samples.
template <int kCapacity>
struct CoordinateRuns {
    int count = 0;
    int first[kCapacity];  ///< the first sample of each run, for runs 0 .. count - 1
    int of[kCapacity];     ///< the run each sample belongs to

    /// Finds the runs of x[0 .. n), 0 <= n <= kCapacity (T float or double).
    template <class T>
    void Find(const T* x, int n) noexcept {
        using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
        count = 0;
        for (int i = 0; i < n; ++i) {
            if (i == 0 || std::bit_cast<Bits>(x[i]) != std::bit_cast<Bits>(x[i - 1])) {
                first[count++] = i;
            }
            of[i] = count - 1;
        }
    }
    /// Finds the runs as Find does and, where they share little, looks for a sequence
    /// that repeats (an image narrower than the batch repeats its u every row): when
    /// x[i] has the bits of x[i - p] for every i >= p, with p the first position past the
    /// first run that has the bits of x[0], the samples from p on belong to the
    /// runs of their copies among the first p. Linear in n.
    template <class T>
    void FindRepeating(const T* x, int n) noexcept {
        using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
        Find(x, n);
        if (Shared(n)) return;
        const auto bits = [x](int i) { return std::bit_cast<Bits>(x[i]); };
        int p = count > 1 ? first[1] : n;  // past the first run
        while (2 * p <= n && bits(p) != bits(0)) ++p;
        if (2 * p > n) return;
        for (int i = p; i < n; ++i) {
            if (bits(i) != bits(i - p)) return;
        }
        Find(x, p);
        for (int i = p; i < n; ++i) of[i] = of[i - p];
    }
    /// Whether evaluating once per run pays for gathering and spreading, for n samples:
    /// when runs are at least two samples long on average.
    bool Shared(int n) const noexcept { return 2 * count <= n; }
    /// values[i] = perRun[of[i]] for i < n.
    template <class T>
    void Spread(const T* perRun, int n, T* values) const noexcept {
        for (int i = 0; i < n; ++i) values[i] = perRun[of[i]];
    }
};

}  // namespace loom
