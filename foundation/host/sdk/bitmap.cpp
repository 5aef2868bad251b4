#include "foundation/host/sdk/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <unordered_map>

#include "foundation/host/base/text.h"
#include "foundation/host/sdk/image_codec.h"
#include "foundation/host/sdk/page_advice.h"
#include "foundation/host/sdk/pixel_limit.h"

Bitmap::Bitmap(const BitmapInfo& bi)
    : name_(bi.Name()),
      width_(bi.Width()),
      height_(bi.Height()),
      type_(bi.Type()),
      storage_(bi.Storage()) {
    const size_t count = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (storage_ == loom::PixelStorage::kRgba64) {
        // Huge pages asked for before the pixels are first written (zeroed here).
        pixels_.reserve(count);
        loom::AdviseHugePages(pixels_.data(), count * sizeof(BMM_Color_64));
        pixels_.resize(count);
    } else {
        packed_.resize(count * PackedBytes());
    }
}

size_t Bitmap::PackedBytes() const {
    return loom::PackedPixelBytes(storage_ == loom::PixelStorage::kPackedRgb24 ? 8 : 16);
}

int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64* pixels) {
    if (!pixels || x < 0 || y < 0 || count < 0 || y >= height_ || x > width_ - count) return 0;
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
    if (storage_ != loom::PixelStorage::kRgba64) {
        const size_t bytes = PackedBytes();
        if (packed_.size() < (at + static_cast<size_t>(count)) * bytes) return 0;
        (bytes == 3 ? loom::PackRgb24 : loom::PackRgb48)(pixels, packed_.data() + at * bytes,
                                                         static_cast<size_t>(count));
        return 1;
    }
    if (pixels_.size() < at + static_cast<size_t>(count)) return 0;
    loom::CopyPixels(pixels, pixels_.data() + at, static_cast<size_t>(count));
    return 1;
}

int Bitmap::GetPixels(int x, int y, int count, BMM_Color_64* pixels) const {
    if (!pixels || x < 0 || y < 0 || count < 0 || y >= height_ || x > width_ - count) return 0;
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
    if (storage_ != loom::PixelStorage::kRgba64) {
        const size_t bytes = PackedBytes();
        if (packed_.size() < (at + static_cast<size_t>(count)) * bytes) return 0;
        (bytes == 3 ? loom::WidenRgb24 : loom::WidenRgb48)(packed_.data() + at * bytes, pixels,
                                                           static_cast<size_t>(count));
        return 1;
    }
    if (pixels_.size() < at + static_cast<size_t>(count)) return 0;
    loom::CopyPixels(pixels_.data() + at, pixels, static_cast<size_t>(count));
    return 1;
}

Bitmap* BitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() <= 0 || bi->Height() <= 0) return nullptr;
    if (static_cast<long long>(bi->Width()) * bi->Height() > loom::kMaxImagePixels) return nullptr;
    try {
        return new Bitmap(*bi);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {
BitmapManager gManager;

std::mutex gHandleMutex;
std::unordered_map<DWORD_PTR, Bitmap*> gHandleBitmaps;

class ViewportHandle final : public TexHandle {
  public:
    explicit ViewportHandle(Bitmap* copy) : copy_(copy) {
        std::lock_guard lock(gHandleMutex);
        gHandleBitmaps[GetHandle()] = copy_;
    }
    ~ViewportHandle() override {
        std::lock_guard lock(gHandleMutex);
        gHandleBitmaps.erase(GetHandle());
        delete copy_;
    }
    DWORD_PTR GetHandle() override { return reinterpret_cast<DWORD_PTR>(this); }
    void DeleteThis() override { delete this; }

  private:
    Bitmap* copy_;
};
}  // namespace

BitmapManager* TheManager = &gManager;

namespace loom {

void Unpack(Image16& image) {
    if (!IsPacked(image)) return;
    const size_t count = image.packed.size() / PackedPixelBytes(image.bits);
    image.pixels.resize(count);
    (image.bits == 8 ? WidenRgb24 : WidenRgb48)(image.packed.data(), image.pixels.data(), count);
    image.packed.clear();
}

TexHandle* ViewportHandleMaker::CreateHandle(Bitmap* bm, int, int) {
    ++made_;
    return new ViewportHandle(bm ? new Bitmap(*bm) : nullptr);
}

const Bitmap* ViewportHandleBitmap(DWORD_PTR handle) {
    std::lock_guard lock(gHandleMutex);
    auto it = gHandleBitmaps.find(handle);
    return it == gHandleBitmaps.end() ? nullptr : it->second;
}

bool CanWriteImage(const std::string& path, std::string& error) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    for (const char* known : {".png", ".tif", ".tiff", ".exr", ".jpg", ".jpeg"}) {
        if (ext == known) return true;
    }
    error = path + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
    return false;
}

bool CheckImageOutput(const std::string& path, const SaveOptions& options, std::string& error) {
    return CheckOutputFile(path, options, error) && CanWriteImage(path, error);
}

namespace {

/// The one way an image file is written: checked, encoded in memory by `encode` (the
/// codec's encoder for the pixels at hand), then saved whole.
template <class Encode>
bool WriteEncoded(const std::string& path, const SaveOptions& options, std::string& error,
                  Encode encode) {
    if (!CheckImageOutput(path, options, error)) return false;
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = path + ": cannot write: " + why;
        return false;
    }
    std::vector<std::uint8_t> bytes;
    return encode(*codec, bytes) && SaveFile(path, bytes.data(), bytes.size(), options, error);
}

}  // namespace

bool WriteImage(const std::string& path, const FloatImage& image, int bits, std::string& error,
                const SaveOptions& options) {
    return WriteEncoded(path, options, error, [&](const ImageCodec& codec, auto& bytes) {
        return codec.encodeFloat(path, image, bits, bytes, error);
    });
}

bool WriteImage(const std::string& path, const Image16& image, int bits, std::string& error,
                const SaveOptions& options) {
    return WriteEncoded(path, options, error, [&](const ImageCodec& codec, auto& bytes) {
        return codec.encode16(path, image, bits, bytes, error);
    });
}

namespace {
std::atomic<long long> gMaxImagePixels{kDefaultMaxImagePixels};
}  // namespace

long long MaxImagePixels() { return gMaxImagePixels.load(std::memory_order_relaxed); }

bool SetMaxImagePixels(long long pixels) {
    if (pixels < 1 || pixels > kMaxImagePixels) return false;
    gMaxImagePixels.store(pixels, std::memory_order_relaxed);
    return true;
}

std::size_t MaxImageFileBytes() {
    return static_cast<std::size_t>(MaxImagePixels()) * 16 + (std::size_t{64} << 20);
}

bool WriteImageFile(const std::string& path, const FloatImage& image,
                    const ImageFileOptions& options, std::string& error, const SaveOptions& save) {
    if (!options.texture && !options.tags && options.bits != 32) {
        return WriteImage(path, image, options.bits, error, save);
    }
    if (!CheckOutputFile(path, save, error)) return false;
    if (!options.texture && !CanWriteImage(path, error)) return false;
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = path + ": cannot write: " + why;
        return false;
    }
    std::vector<std::uint8_t> bytes;
    return codec->encodeFile(path, image, options, bytes, error) &&
           SaveFile(path, bytes.data(), bytes.size(), save, error);
}

bool DecodeImage(const std::string& name, const std::uint8_t* data, std::size_t size,
                 FloatImage& image, int& bits, std::string& error, long long maxPixels) {
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = name + ": cannot read image: " + why;
        return false;
    }
    return codec->decodeFloat(name, data, size, std::min(maxPixels, MaxImagePixels()), image, bits,
                              error);
}

bool ReadImage(const std::string& path, FloatImage& image, int& bits, std::string& error) {
    std::vector<std::uint8_t> bytes;
    return ReadRegularFile(path, MaxImageFileBytes(), bytes, error) &&
           DecodeImage(path, bytes.data(), bytes.size(), image, bits, error);
}

bool ReadImageSamples(const std::string& path, int bits, ImageSamples& samples,
                      std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(path, MaxImageFileBytes(), bytes, error)) return false;
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = path + ": cannot read image: " + why;
        return false;
    }
    return codec->decodeSamples(path, bytes.data(), bytes.size(), MaxImagePixels(), bits, samples,
                                error);
}

}  // namespace loom
