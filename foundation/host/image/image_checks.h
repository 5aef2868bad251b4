#pragma once
/// Checks of image file bytes made before the image library sees them. The library's
/// readers allocate what a header claims before anyone can look at it, and some of them
/// trust offsets and lengths inside the file, so every header the project reads is walked
/// here first, within the bytes, and refused when it claims more than the bytes hold or
/// more pixels than allowed. Pure functions of the bytes; safe from any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace loom {

/// The formats the project reads, as their first bytes announce them.
enum class ImageFormat { kUnknown, kPng, kTiff, kOpenExr, kJpeg, kBmp };

/// The format whose signature `data` begins with; kUnknown for anything else.
ImageFormat SniffImageFormat(const std::uint8_t* data, std::size_t size);

/// The image library's name of `format` ("png", "tiff", "openexr", "jpeg", "bmp"); null
/// for kUnknown.
const char* LibraryFormatName(ImageFormat format);

/// Checks the header of `data` (of the sniffed `format`) against the bytes and
/// `maxPixels`: PNG chunks within the file and ending in IEND; a BMP's header, palette,
/// bit fields and pixel rows consistent and within the file; every OpenEXR header's
/// attributes within the bytes and of their type's size, its data window, tiles and chunk
/// table bounded, deep data refused; a TIFF's first directory and its strips or tiles
/// within the file, and each of its Deflate streams whole. PNG, TIFF and sequential JPEG
/// files may not claim more pixels than their compressed data can hold, so that no
/// library allocates a picture that its file could never fill. Other formats pass. False
/// with `error`, which begins with `name`.
bool CheckImageHeader(const std::string& name, ImageFormat format, const std::uint8_t* data,
                      std::size_t size, long long maxPixels, std::string& error);

/// Copies JPEG `data` into `out` without the metadata segments the project never uses
/// (APP1 to APP13, APP15 and comments: EXIF, XMP, ICC profiles, IPTC), whose parsers in
/// the image library read past their segments; the JFIF and Adobe segments, which decide
/// how colours are decoded, and every segment from the first scan on are kept. Walks the
/// segments within the bytes; false with `error` when one runs past the end.
bool StripJpegMetadata(const std::string& name, const std::uint8_t* data, std::size_t size,
                       std::vector<std::uint8_t>& out, std::string& error);

}  // namespace loom
