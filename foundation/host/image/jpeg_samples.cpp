#include "foundation/host/image/jpeg_samples.h"

#include "foundation/host/sdk/page_advice.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
#include <cstring>
#include <new>

namespace loom {
namespace {

/// What the decoder's callbacks reach and what a read makes. Plain data only: an error
/// leaves the read by longjmp, which runs no destructors, and the buffers live here rather
/// than in locals, whose values after a longjmp are indeterminate once they change.
struct JpegState {
    jpeg_error_mgr errors;  // first: the decoder hands callbacks a pointer to it
    jpeg_decompress_struct info;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
    bool notPlain;
    std::uint8_t* pixels;  // owned by the caller of ReadWithLibrary, even after an error
    JDIMENSION width, height;
    int channels;
};

[[noreturn]] void OnError(j_common_ptr info) {
    auto* state = reinterpret_cast<JpegState*>(info->err);
    (*info->err->format_message)(info, state->message);
    std::longjmp(state->back, 1);
}

void OnMessage(j_common_ptr info, int level) {
    // Level -1 is a warning about the data (corrupt or truncated: the decoder makes up or
    // skips what it cannot read); the picture would not be the file's, so it is an error.
    // Stray bytes between segments lose nothing and pass, as in the image library's reads.
    // Higher levels are trace messages.
    if (level < 0 && info->err->msg_code != JWRN_EXTRANEOUS_DATA) OnError(info);
}

/// The decoder's part of a read: false after an error, with state.message saying why.
/// Holds no object with a destructor, as an error leaves it by longjmp.
bool ReadWithLibrary(JpegState& state, const std::uint8_t* data, std::size_t size,
                     long long maxPixels) {
    jpeg_decompress_struct& info = state.info;
    info.err = jpeg_std_error(&state.errors);
    state.errors.error_exit = OnError;
    state.errors.emit_message = OnMessage;
    if (setjmp(state.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        state.notPlain = true;
        std::strcpy(state.message, "CMYK colours");
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width == 0 || info.output_height == 0) {
        std::strcpy(state.message, "empty image");
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (static_cast<long long>(info.output_width) * info.output_height > maxPixels) {
        std::strcpy(state.message, "too many pixels");
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    if (info.output_components != (info.out_color_space == JCS_GRAYSCALE ? 1 : 3)) {
        std::strcpy(state.message, "unexpected sample layout");
        jpeg_destroy_decompress(&info);
        return false;
    }
    state.width = info.output_width;
    state.height = info.output_height;
    state.channels = info.output_components;
    const std::size_t rowBytes = static_cast<std::size_t>(state.width) * state.channels;
    state.pixels = new (std::nothrow) std::uint8_t[rowBytes * state.height];
    if (!state.pixels) {
        std::strcpy(state.message, "out of memory");
        jpeg_destroy_decompress(&info);
        return false;
    }
    AdviseHugePages(state.pixels, rowBytes * state.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = state.pixels + rowBytes * info.output_scanline;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            std::strcpy(state.message, "truncated data");
            jpeg_destroy_decompress(&info);
            return false;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

JpegRead DecodeJpegSamples(const std::string& name, const std::uint8_t* data, std::size_t size,
                           long long maxPixels, ImageSamples& samples, std::string& error) {
    JpegState state{};
    const bool read = ReadWithLibrary(state, data, size, maxPixels);
    if (!read) {
        delete[] state.pixels;
        error = name + ": cannot read image: " + state.message;
        return state.notPlain ? JpegRead::kNotPlain : JpegRead::kFailed;
    }
    samples.width = static_cast<int>(state.width);
    samples.height = static_cast<int>(state.height);
    samples.channels = state.channels;
    samples.fileBits = 8;
    samples.bits = 8;
    samples.hasAlpha = false;
    samples.data.reset(state.pixels);
    samples.bytes = static_cast<std::size_t>(state.width) * state.channels * state.height;
    return JpegRead::kDone;
}

}  // namespace loom
