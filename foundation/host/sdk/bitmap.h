#pragma once
/// Bitmaps of 16-bit RGBA pixels, the bitmap manager, viewport texture handles, and
/// image files read and written through the image library (image_codec.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/packed_pixels.h"

/// One pixel: four unsigned 16-bit channels, full scale 65535.
struct BMM_Color_64 {
    WORD r = 0, g = 0, b = 0, a = 0;
    bool operator==(const BMM_Color_64&) const = default;
};

inline constexpr int BMM_TRUE_32 = 6;  ///< 32-bit true colour
inline constexpr int BMM_TRUE_64 = 7;  ///< 64-bit true colour

namespace loom {
/// How a bitmap keeps its pixels: 16-bit RGBA (every bitmap a plug-in makes), or packed RGB
/// without alpha at 8 or 16 bits a channel (packed_pixels.h), which the host asks for to
/// hold video frames: fewer bytes to move. A filter sees no difference: GetPixels and
/// PutPixels convert.
enum class PixelStorage : std::uint8_t { kRgba64, kPackedRgb24, kPackedRgb48 };
}  // namespace loom

class BitmapInfo {
  public:
    void SetName(const char* n) { name_ = n ? n : ""; }
    const std::string& Name() const { return name_; }
    void SetWidth(int w) { width_ = w; }
    void SetHeight(int h) { height_ = h; }
    void SetType(int t) { type_ = t; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Type() const { return type_; }
    /// The host's own: the storage of bitmaps made from this information.
    void SetStorage(loom::PixelStorage s) { storage_ = s; }
    loom::PixelStorage Storage() const { return storage_; }

  private:
    std::string name_;
    int width_ = 0;
    int height_ = 0;
    int type_ = BMM_TRUE_64;
    loom::PixelStorage storage_ = loom::PixelStorage::kRgba64;
};

/// A bitmap in memory. Pixels are stored at 16 bits per channel whatever the type, or
/// packed when the host asks for it (loom::PixelStorage).
class Bitmap {
  public:
    Bitmap(const BitmapInfo& bi);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Type() const { return type_; }
    const std::string& Name() const { return name_; }
    /// Writes `count` pixels of line y from x on; 1 on success, 0 when the run does not
    /// lie inside the bitmap.
    int PutPixels(int x, int y, int count, const BMM_Color_64* pixels);
    /// Reads `count` pixels; 1 on success, 0 outside the bitmap.
    int GetPixels(int x, int y, int count, BMM_Color_64* pixels) const;
    /// The 16-bit pixels, line after line; empty in packed storage.
    const std::vector<BMM_Color_64>& Pixels() const { return pixels_; }
    std::vector<BMM_Color_64>& Pixels() { return pixels_; }
    loom::PixelStorage Storage() const { return storage_; }
    /// Bytes a pixel takes in packed storage.
    size_t PackedBytes() const;
    /// The packed pixels, line after line; empty in 16-bit storage.
    const loom::PackedRgb& Packed() const { return packed_; }
    loom::PackedRgb& Packed() { return packed_; }
    void DeleteThis() { delete this; }

  private:
    std::string name_;
    int width_;
    int height_;
    int type_;
    loom::PixelStorage storage_;
    std::vector<BMM_Color_64> pixels_;
    loom::PackedRgb packed_;
};

class BitmapManager {
  public:
    /// A new bitmap of the size and type in `bi`; null when the size is not positive or
    /// the memory cannot be had.
    Bitmap* Create(BitmapInfo* bi);
};
extern BitmapManager* TheManager;

namespace loom {

/// Viewport handle maker: keeps a copy of each bitmap it makes a handle for, so the
/// application can show or write it.
class ViewportHandleMaker final : public TexHandleMaker {
  public:
    explicit ViewportHandleMaker(int size) : size_(size) {}
    int Size() override { return size_; }
    TexHandle* CreateHandle(Bitmap* bm, int symflags = 0, int extraFlags = 0) override;
    /// Handles made so far (each handle's copy lives until the handle is deleted).
    int HandlesMade() const { return made_; }

  private:
    int size_;
    int made_ = 0;
};

/// The pixels behind a handle made by ViewportHandleMaker (null for a null bitmap).
const Bitmap* ViewportHandleBitmap(DWORD_PTR handle);

/// An image in memory as floats, 4 channels (RGBA), top line first.
struct FloatImage {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;
};

/// An image as the filter host works on it: 16-bit RGBA pixels, top line first.
struct Image16 {
    int width = 0;
    int height = 0;
    /// 8 for 8-bit files; 16 for 16-bit, floating-point and any other files.
    int bits = 8;
    /// Whether the file had an alpha channel (pixels of files without one have alpha 65535).
    bool hasAlpha = false;
    std::vector<BMM_Color_64> pixels;
    /// Video frames on their way from decoder to encoder may hold their pixels packed here
    /// instead, at `bits` a channel (PackedPixelBytes), `pixels` then being empty
    /// (IsPacked); nothing else makes them.
    PackedRgb packed;
};

/// Whether an image holds packed pixels (Image16::packed) rather than 16-bit ones.
inline bool IsPacked(const Image16& image) { return image.pixels.empty() && !image.packed.empty(); }

/// Makes a packed image's pixels 16-bit ones (nothing for an image that is not packed).
void Unpack(Image16& image);

/// The largest picture read or made: 2^28 pixels (2 GiB of 64-bit pixels).
inline constexpr long long kMaxImagePixels = 1LL << 28;
/// The largest image file read: the largest picture uncompressed at four 32-bit channels,
/// with room for its headers.
inline constexpr std::size_t kMaxImageFileBytes =
    static_cast<std::size_t>(kMaxImagePixels) * 16 + (std::size_t{64} << 20);

/// Whether an image file of this name can be written (by extension: .png, .tif/.tiff,
/// .exr, .jpg/.jpeg); false with `error` naming the file and the extensions.
bool CanWriteImage(const std::string& path, std::string& error);

/// The checks before any work that writes `path` as an image: a known extension and
/// everything CheckOutputFile checks.
bool CheckImageOutput(const std::string& path, const SaveOptions& options, std::string& error);

/// Writes an image file chosen by extension (.png, .tif/.tiff, .exr, .jpg). `bits` 8 or
/// 16 for integer formats (integer files take values clamped to 0..1, NaN as 0); EXR keeps
/// the floats as they are. Encoded in memory and saved through SaveFile, so that a failure
/// leaves any earlier file untouched. Alpha is never premultiplied.
bool WriteImage(const std::string& path, const FloatImage& image, int bits, std::string& error,
                const SaveOptions& options = {});
/// Writes 16-bit pixels as WriteImage writes floats: at `bits` 8 or 16 per channel (JPEG
/// always 8, EXR 32-bit float); alpha only when the image has it (never in JPEG); values as
/// stored, alpha never multiplied into the colours.
bool WriteImage(const std::string& path, const Image16& image, int bits, std::string& error,
                const SaveOptions& options = {});

/// How WriteImageFile writes a picture for a renderer.
struct ImageFileOptions {
    /// 8 or 16 (integer formats; EXR then holds half floats), or 32: full floats (EXR and
    /// texture files only).
    int bits = 8;
    /// Tag the colour space (OpenImageIO's "oiio:ColorSpace", and a "colorspace" string
    /// where the format keeps no such tag, as OpenEXR): colour as "sRGB" in 8- and 16-bit
    /// files, converted by the image library to "linear" in float files; data ("Raw",
    /// nothing converted) when `data` is set.
    bool tags = false;
    /// The pixels are data (a normal map, a mono value), not colour.
    bool data = false;
    /// A tiled, mip-mapped texture file (.tx) made by the image library's texture maker;
    /// implies `tags`.
    bool texture = false;
    /// The picture is a seamless tile: the texture file's wrap mode is periodic.
    bool periodic = false;
};

/// Writes `image` to `path` as `options` say (.png, .tif, .exr, .jpg; .tx with
/// options.texture). Without tags and texture the bytes are WriteImage's. Encoded in
/// memory and saved through SaveFile: a failure leaves no file and no part of one behind.
bool WriteImageFile(const std::string& path, const FloatImage& image,
                    const ImageFileOptions& options, std::string& error,
                    const SaveOptions& save = {});

/// Reads an image file into RGBA floats on the 0..1 scale of its integer format (values
/// unassociated from alpha as stored); `bits` receives 8, 16 or 32 (float files). Only a
/// regular file is read; pictures of more than kMaxImagePixels pixels, and damaged or
/// truncated files, are refused.
bool ReadImage(const std::string& path, FloatImage& image, int& bits, std::string& error);

/// ReadImage on the bytes of a file in memory; the bytes' signature picks the format and
/// `name` begins every error. Pictures of more than `maxPixels` pixels are refused.
bool DecodeImage(const std::string& name, const std::uint8_t* data, std::size_t size,
                 FloatImage& image, int& bits, std::string& error,
                 long long maxPixels = kMaxImagePixels);

}  // namespace loom
