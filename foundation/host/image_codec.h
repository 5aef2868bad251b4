#pragma once
/// Image files are read and written by a library of their own, loaded the first time an
/// image is needed: the image library brings some two hundred shared libraries with it,
/// which would otherwise cost every process (every command, every test) half a second and
/// over 100 MB at start-up, whether it touches an image or not.

#include <string>

#include "foundation/host/bitmap.h"

namespace loom {

/// The image library's operations. Each answers false with `error` naming the file.
struct ImageCodec {
    bool (*readFloat)(const std::string& path, FloatImage& image, int& bits, std::string& error);
    bool (*writeFloat)(const std::string& path, const FloatImage& image, int bits,
                       std::string& error);
    bool (*read16)(const std::string& path, Image16& image, std::string& error);
    /// `path` has an extension CanWriteImage16 accepts.
    bool (*write16)(const std::string& path, const Image16& image, int bits, std::string& error);
};

/// The image library, loaded on first use from the folder of the host runtime; null with
/// `why` when it cannot be loaded. Safe to call from several threads.
const ImageCodec* LoadImageCodec(std::string& why);

}  // namespace loom

/// The image library's one export.
extern "C" __attribute__((visibility("default"))) const loom::ImageCodec* LoomImageCodec();
