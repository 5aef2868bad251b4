#pragma once
/// Tables of the warp of u, kept per thread between batches.
///
/// Each octave's second warp, sin(vWave x fu x U) with fu the octave's frequency along u,
/// depends on U alone, and the rows of an image repeat the same U (the renderer maps u from
/// the column alone): a chunk's table of one octave group's warps for its distinct U is the
/// same table in every row. The cache keeps such tables under everything they are made of,
/// compared bit for bit, so a table found is exactly the table a fresh evaluation gives.
///
/// Bounded: kNimbraWarpSets x kNimbraWarpWays tables of up to kNimbraGroup x kNimbraChunk
/// doubles (4 KiB, 4.6 KiB with the key), 128 in all, about 600 KiB a thread, made once per
/// thread. That holds every chunk of a row 8192 samples wide at up to 8 octaves (the
/// defaults' 7 are one group), or 4096 wide at up to 16, while staying within the second
/// level cache a core has. A wider image misses and evaluates as if there were no cache;
/// a miss costs a hash of four values and the key's copy.
///
/// One cache per thread, used by that thread alone: no locks.

#include <cstdint>

/// Samples one pass of the chunk loop takes, and octaves one warp table holds.
inline constexpr int kNimbraChunk = 64;
inline constexpr int kNimbraGroup = 8;

inline constexpr int kNimbraWarpSets = 32;
inline constexpr int kNimbraWarpWays = 4;

/// What a table of warps is made from.
struct NimbraWarpKey {
    const double* u = nullptr;  ///< the chunk's distinct U, in the order of the table
    int count = 0;              ///< how many: 1 .. kNimbraChunk
    int octaves = 0;            ///< octaves of the group: 1 .. kNimbraGroup
    int lanes = 0;              ///< vector width of the sine that fills the table (0: library)
    double vWave = 0.0;         ///< the warp factor of u
    double fu = 0.0;            ///< the group's first frequency along u (each next doubles it)
};

/// Lookups of one thread's cache so far.
struct NimbraWarpCounts {
    std::uint64_t hits = 0;
    std::uint64_t misses = 0;
};

class NimbraWarpCache {
  public:
    /// The table of `key` (octave j's warp of U r at [j x count + r]). When kept, `found` is
    /// set and the table is the one filled before; otherwise `found` is cleared and the
    /// returned table, now filed under `key`, must be filled by the caller before this
    /// cache's next lookup. `key` must be within the bounds above.
    double* Find(const NimbraWarpKey& key, bool& found) noexcept;

    NimbraWarpCounts Counts() const noexcept { return counts_; }

  private:
    struct Entry {
        double vWave, fu;
        int count, octaves, lanes;
        double u[kNimbraChunk];
        double table[kNimbraGroup * kNimbraChunk];
    };
    // The hash and last use of each entry, apart from the entries so that a lookup reads
    // one line of them; a last use of 0 marks an entry never filed.
    std::uint64_t hash_[kNimbraWarpSets][kNimbraWarpWays] = {};
    std::uint64_t lastUse_[kNimbraWarpSets][kNimbraWarpWays] = {};
    std::uint64_t clock_ = 0;
    NimbraWarpCounts counts_;
    Entry entries_[kNimbraWarpSets][kNimbraWarpWays];
};

/// The calling thread's cache, made on its first call and freed when the thread ends;
/// nullptr when there is no memory for it (then evaluate without).
NimbraWarpCache* ThisThreadNimbraWarpCache() noexcept;
