#include "nimbra/warp_cache.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace {

std::uint64_t Mix(std::uint64_t h, std::uint64_t x) noexcept {
    h ^= x + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

// The first, middle and last U pick out a chunk of a row (its neighbours start elsewhere),
// the rest the octave group and the parameters; the key compared in full decides.
std::uint64_t HashOf(const NimbraWarpKey& key) noexcept {
    std::uint64_t h = static_cast<std::uint64_t>(key.count) |
                      static_cast<std::uint64_t>(key.octaves) << 8 |
                      static_cast<std::uint64_t>(key.lanes) << 16;
    h = Mix(h, std::bit_cast<std::uint64_t>(key.u[0]));
    h = Mix(h, std::bit_cast<std::uint64_t>(key.u[key.count / 2]));
    h = Mix(h, std::bit_cast<std::uint64_t>(key.u[key.count - 1]));
    h = Mix(h, std::bit_cast<std::uint64_t>(key.vWave));
    h = Mix(h, std::bit_cast<std::uint64_t>(key.fu));
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 32);
}

bool SameBits(double a, double b) noexcept {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

double* NimbraWarpCache::Find(const NimbraWarpKey& key, bool& found) noexcept {
    const std::uint64_t hash = HashOf(key);
    const int set = static_cast<int>(hash % kNimbraWarpSets);
    std::uint64_t* hashes = hash_[set];
    std::uint64_t* used = lastUse_[set];
    ++clock_;
    int oldest = 0;
    for (int way = 0; way < kNimbraWarpWays; ++way) {
        Entry& e = entries_[set][way];
        if (used[way] != 0 && hashes[way] == hash && e.count == key.count &&
            e.octaves == key.octaves && e.lanes == key.lanes && SameBits(e.vWave, key.vWave) &&
            SameBits(e.fu, key.fu) &&
            std::memcmp(e.u, key.u, static_cast<std::size_t>(key.count) * sizeof(double)) == 0) {
            used[way] = clock_;
            ++counts_.hits;
            found = true;
            return e.table;
        }
        if (used[way] < used[oldest]) oldest = way;
    }
    Entry& e = entries_[set][oldest];
    hashes[oldest] = hash;
    used[oldest] = clock_;
    e.vWave = key.vWave;
    e.fu = key.fu;
    e.count = key.count;
    e.octaves = key.octaves;
    e.lanes = key.lanes;
    std::memcpy(e.u, key.u, static_cast<std::size_t>(key.count) * sizeof(double));
    ++counts_.misses;
    found = false;
    return e.table;
}

NimbraWarpCache* ThisThreadNimbraWarpCache() noexcept {
    // Made on first use rather than as a thread-local object: most threads that load the
    // plug-in never render a row, and a large thread-local block would be reserved for each.
    thread_local std::unique_ptr<NimbraWarpCache> cache;
    thread_local bool tried = false;
    if (!tried) {
        tried = true;
        cache.reset(new (std::nothrow) NimbraWarpCache);
    }
    return cache.get();
}
