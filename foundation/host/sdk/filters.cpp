#include "foundation/host/sdk/filters.h"

#include <cstdint>
#include <new>

namespace {
// Far more than any filter stores; a larger answer is taken as a fault, not a request.
constexpr DWORD kMaxConfigurationBytes = 1u << 20;
}  // namespace

int ImageFilter::Lerp(int a, int b, int l) {
    if (l < 0) l = 0;
    if (l > 65536) l = 65536;
    std::int64_t d = (static_cast<std::int64_t>(b) - a) * l;
    return static_cast<int>(a + d / 65536);
}

namespace loom {

namespace {
bool HasPixels(const Bitmap* bm) noexcept {
    return bm && (!bm->Pixels().empty() || !bm->Packed().empty());
}
}  // namespace

int StorageWidth(const Bitmap* bm) noexcept { return HasPixels(bm) ? bm->Width() : 0; }

int StorageHeight(const Bitmap* bm) noexcept { return HasPixels(bm) ? bm->Height() : 0; }

StoredLine StorageLine(const Bitmap* bm, int y) noexcept {
    if (y < 0 || y >= StorageHeight(bm)) return {};
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(bm->Width());
    const size_t end = at + static_cast<size_t>(bm->Width());
    if (!bm->Pixels().empty()) {
        if (bm->Pixels().size() < end) return {};
        return {reinterpret_cast<const std::uint8_t*>(bm->Pixels().data() + at), bm->Width(),
                static_cast<int>(sizeof(BMM_Color_64))};
    }
    // Storage the host swapped for a buffer of another size has no line to point at.
    const size_t bytes = bm->PackedBytes();
    if (bm->Packed().size() < end * bytes) return {};
    return {bm->Packed().data() + at * bytes, bm->Width(), static_cast<int>(bytes)};
}

const BMM_Color_64* StoredPixels(const Bitmap* bm, int y) noexcept {
    if (!bm || bm->Storage() != PixelStorage::kRgba64 || y < 0 || y >= bm->Height()) return nullptr;
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(bm->Width());
    if (bm->Pixels().size() < at + static_cast<size_t>(bm->Width())) return nullptr;
    return bm->Pixels().data() + at;
}

BMM_Color_64* StoredPixels(Bitmap* bm, int y) noexcept {
    return const_cast<BMM_Color_64*>(StoredPixels(static_cast<const Bitmap*>(bm), y));
}

const std::uint8_t* StoredPackedLine(const Bitmap* bm, int y) noexcept {
    if (!bm || bm->Storage() == PixelStorage::kRgba64 || y < 0 || y >= bm->Height()) {
        return nullptr;
    }
    const size_t line = bm->PackedBytes() * static_cast<size_t>(bm->Width());
    const size_t at = static_cast<size_t>(y) * line;
    if (bm->Packed().size() < at + line) return nullptr;
    return bm->Packed().data() + at;
}

std::uint8_t* StoredPackedLine(Bitmap* bm, int y) noexcept {
    return const_cast<std::uint8_t*>(StoredPackedLine(static_cast<const Bitmap*>(bm), y));
}

ImageFilter* CreateImageFilter(ClassDesc* cd, std::string& error) {
    if (!cd || cd->SuperClassID() != IMAGE_FILTER_CLASS_ID) {
        error = "not an image filter class";
        return nullptr;
    }
    auto* filter = static_cast<ImageFilter*>(cd->Create(FALSE));
    if (!filter) error = "the filter could not be created";
    return filter;
}

bool LoadFilterConfiguration(ImageFilter& filter, const std::vector<std::uint8_t>& bytes,
                             std::string& error) {
    DWORD want = filter.EvaluateConfigure();
    if (bytes.size() != want) {
        error = "the configuration holds " + std::to_string(bytes.size()) +
                " bytes; the filter stores " + std::to_string(want);
        return false;
    }
    if (want == 0) return true;
    // The filter may write through the pointer it gets; give it a copy.
    std::vector<std::uint8_t> copy = bytes;
    if (!filter.LoadConfigure(copy.data())) {
        error = "the filter refused its configuration";
        return false;
    }
    return true;
}

bool SaveFilterConfiguration(ImageFilter& filter, std::vector<std::uint8_t>& bytes,
                             std::string& error) {
    DWORD size = filter.EvaluateConfigure();
    bytes.clear();
    if (size == 0) return true;
    if (size > kMaxConfigurationBytes) {
        error = "the filter asks to store " + std::to_string(size) + " bytes";
        return false;
    }
    bytes.assign(size, 0);
    if (!filter.SaveConfigure(bytes.data())) {
        bytes.clear();
        error = "the filter did not save its configuration";
        return false;
    }
    return true;
}

}  // namespace loom
