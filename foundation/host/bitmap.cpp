#include "foundation/host/bitmap.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <unordered_map>

Bitmap::Bitmap(const BitmapInfo& bi)
    : name_(bi.Name()), width_(bi.Width()), height_(bi.Height()), type_(bi.Type()) {
    pixels_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
}

int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64* pixels) {
    if (!pixels || x < 0 || y < 0 || count < 0 || y >= height_ || x > width_ - count) return 0;
    std::copy(pixels, pixels + count, pixels_.begin() + (static_cast<long>(y) * width_ + x));
    return 1;
}

int Bitmap::GetPixels(int x, int y, int count, BMM_Color_64* pixels) const {
    if (!pixels || x < 0 || y < 0 || count < 0 || y >= height_ || x > width_ - count) return 0;
    auto from = pixels_.begin() + (static_cast<long>(y) * width_ + x);
    std::copy(from, from + count, pixels);
    return 1;
}

Bitmap* BitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() <= 0 || bi->Height() <= 0) return nullptr;
    constexpr long long kMaxPixels = 1LL << 28;  // 2 GiB of 64-bit pixels
    if (static_cast<long long>(bi->Width()) * bi->Height() > kMaxPixels) return nullptr;
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

TexHandle* ViewportHandleMaker::CreateHandle(Bitmap* bm, int, int) {
    ++made_;
    return new ViewportHandle(bm ? new Bitmap(*bm) : nullptr);
}

const Bitmap* ViewportHandleBitmap(DWORD_PTR handle) {
    std::lock_guard lock(gHandleMutex);
    auto it = gHandleBitmaps.find(handle);
    return it == gHandleBitmaps.end() ? nullptr : it->second;
}

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}
}  // namespace

bool WriteImage(const std::string& path, const FloatImage& image, int bits, std::string& error) {
    namespace fs = std::filesystem;
    std::string ext = Lower(fs::path(path).extension().string());
    bool isFloat = ext == ".exr";
    if (!isFloat && ext != ".png" && ext != ".tif" && ext != ".tiff" && ext != ".jpg" &&
        ext != ".jpeg") {
        error = path + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
        return false;
    }
    if (!isFloat && bits != 8 && bits != 16) {
        error = path + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
        error = path + ": empty image";
        return false;
    }
    if (ext == ".jpg" || ext == ".jpeg") bits = 8;
    OIIO::TypeDesc fmt = isFloat ? OIIO::TypeDesc::HALF
                                 : (bits == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
    if (isFloat && bits == 32) fmt = OIIO::TypeDesc::FLOAT;
    int channels = (ext == ".jpg" || ext == ".jpeg") ? 3 : 4;
    std::vector<float> data;
    data.reserve(static_cast<size_t>(image.width) * image.height * channels);
    for (size_t p = 0; p < image.rgba.size(); p += 4) {
        for (int c = 0; c < channels; ++c) {
            float v = image.rgba[p + static_cast<size_t>(c)];
            if (!isFloat) v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            data.push_back(v);
        }
    }
    fs::path target(path);
    // The temporary keeps the extension so that the writer picks the same format.
    fs::path tmp = target.parent_path() /
                   (".~" + target.stem().string() + "." + std::to_string(::getpid()) + ext);
    auto out = OIIO::ImageOutput::create(tmp.string());
    if (!out) {
        error = path + ": cannot write " + ext + " files";
        return false;
    }
    OIIO::ImageSpec layout(image.width, image.height, channels, fmt);
    if (channels == 4) layout.alpha_channel = 3;
    layout.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(tmp.string(), layout)) {
        error = path + ": cannot write: " + out->geterror();
        return false;
    }
    bool ok = out->write_image(OIIO::TypeDesc::FLOAT, data.data()) && out->close();
    if (!ok) {
        error = path + ": write failed: " + out->geterror();
        std::error_code ec;
        fs::remove(tmp, ec);
        return false;
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        error = path + ": cannot write: " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

bool ReadImage(const std::string& path, FloatImage& image, int& bits, std::string& error) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        error = path + ": cannot read image: " + OIIO::geterror();
        return false;
    }
    const OIIO::ImageSpec& layout = in->spec();
    if (layout.width <= 0 || layout.height <= 0 || layout.nchannels <= 0) {
        error = path + ": empty image";
        return false;
    }
    bits = layout.format.basetype == OIIO::TypeDesc::UINT8    ? 8
           : layout.format.basetype == OIIO::TypeDesc::UINT16 ? 16
                                                            : 32;
    int nc = layout.nchannels;
    std::vector<float> data(static_cast<size_t>(layout.width) * layout.height * nc);
    if (!in->read_image(0, 0, 0, nc, OIIO::TypeDesc::FLOAT, data.data())) {
        error = path + ": cannot read image: " + in->geterror();
        return false;
    }
    image.width = layout.width;
    image.height = layout.height;
    image.rgba.assign(static_cast<size_t>(layout.width) * layout.height * 4, 1.0f);
    for (size_t p = 0, q = 0; p < image.rgba.size(); p += 4, q += static_cast<size_t>(nc)) {
        if (nc >= 3) {
            for (int c = 0; c < 3; ++c) image.rgba[p + c] = data[q + static_cast<size_t>(c)];
        } else {
            image.rgba[p] = image.rgba[p + 1] = image.rgba[p + 2] = data[q];
        }
        if (nc == 4 || nc == 2) image.rgba[p + 3] = data[q + static_cast<size_t>(nc - 1)];
    }
    return true;
}

}  // namespace loom
