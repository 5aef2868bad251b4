#pragma once
/// Image files are encoded and decoded by a library of their own, loaded the first time an
/// image is needed: the image library brings some two hundred shared libraries with it,
/// which would otherwise cost every process (every command, every test) half a second and
/// over 100 MB at start-up, whether it touches an image or not. The library works on bytes
/// in memory only; the host reads and writes the files itself (file_io.h), so that every
/// write is checked and a failed save never replaces a good file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// An image's samples as its file holds them: the first `channels` (up to four) channels of
/// each pixel, top line first, each sample `bits` wide (8 and 16: unsigned integers, 32:
/// float).
struct ImageSamples {
    int width = 0;
    int height = 0;
    int channels = 0;
    /// The file's own sample depth: 8, 16 or 32 (floating-point and any other files).
    int fileBits = 8;
    int bits = 8;
    bool hasAlpha = false;
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t bytes = 0;
};

/// The image library's operations. `name` is the file's name and begins every error.
/// Decoders pick the reader by the bytes' signature (PNG, TIFF, OpenEXR, JPEG, BMP); bytes
/// of none of these are refused under those formats' extensions and offered to every
/// reader the library has under any other. Each answers false with `error`. Decoders refuse
/// pictures of more than `maxPixels` pixels before allocating them, and damaged or
/// truncated data.
struct ImageCodec {
    bool (*decodeFloat)(const std::string& name, const std::uint8_t* data, std::size_t size,
                        long long maxPixels, FloatImage& image, int& bits, std::string& error);
    bool (*encodeFloat)(const std::string& name, const FloatImage& image, int bits,
                        std::vector<std::uint8_t>& bytes, std::string& error);
    bool (*decode16)(const std::string& name, const std::uint8_t* data, std::size_t size,
                     long long maxPixels, Image16& image, std::string& error);
    /// `name` has an extension CanWriteImage accepts.
    bool (*encode16)(const std::string& name, const Image16& image, int bits,
                     std::vector<std::uint8_t>& bytes, std::string& error);
    /// A file for a renderer (WriteImageFile): bits, colour-space tags and conversion,
    /// texture files. A texture file is made in a temporary file of the system's, read
    /// back and removed.
    bool (*encodeFile)(const std::string& name, const FloatImage& image,
                       const ImageFileOptions& options, std::vector<std::uint8_t>& bytes,
                       std::string& error);
    /// The samples as stored (ImageSamples), converted to `bits` (8, 16 or 32; 0: the
    /// file's own depth, 32 for anything but 8 and 16).
    bool (*decodeSamples)(const std::string& name, const std::uint8_t* data, std::size_t size,
                          long long maxPixels, int bits, ImageSamples& samples, std::string& error);
};

/// Reads the image file `path` as its samples (ImageSamples), converted to `bits` (0: as
/// stored), within the pixel limit (pixel_limit.h).
bool ReadImageSamples(const std::string& path, int bits, ImageSamples& samples, std::string& error);

/// The image library, loaded on first use from the folder of the host runtime; null with
/// `why` when it cannot be loaded. Safe to call from several threads.
const ImageCodec* LoadImageCodec(std::string& why);

}  // namespace loom

/// The image library's one export.
extern "C" __attribute__((visibility("default"))) const loom::ImageCodec* LoomImageCodec();
