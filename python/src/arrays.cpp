#include "python/src/arrays.h"

#include <OpenImageIO/imageio.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace py = pybind11;

namespace loomwork {
namespace {

/// Height, width and channels of an image array; throws for any other shape.
struct Shape {
    py::ssize_t height = 0, width = 0, channels = 1;
};

Shape ImageShape(const py::array& a, const std::string& what, int maxChannels) {
    Shape s;
    if (a.ndim() == 2) {
        s = {a.shape(0), a.shape(1), 1};
    } else if (a.ndim() == 3 && a.shape(2) >= 1 && a.shape(2) <= maxChannels) {
        s = {a.shape(0), a.shape(1), a.shape(2)};
    } else {
        throw std::runtime_error(what + ": expected an array of shape (H, W) or (H, W, 1.." +
                                 std::to_string(maxChannels) + ")");
    }
    // Each side is bounded before the product (a broadcast view can claim any shape).
    const auto limit = static_cast<py::ssize_t>(loom::kMaxImagePixels);
    if (s.height < 1 || s.width < 1 || s.height > limit || s.width > limit ||
        s.height * s.width > limit) {
        throw std::runtime_error(what + ": " + std::to_string(s.width) + "x" +
                                 std::to_string(s.height) + " is empty or more than " +
                                 std::to_string(loom::kMaxImagePixels) + " pixels");
    }
    return s;
}

/// The array's values as 16-bit, by channel, in C order.
std::vector<WORD> Words(const py::array& array, const std::string& what, int& bits) {
    const std::size_t n = static_cast<std::size_t>(array.size());
    std::vector<WORD> words(n);
    if (py::isinstance<py::array_t<std::uint8_t>>(array)) {
        auto a = py::array_t<std::uint8_t, py::array::c_style>::ensure(array);
        const std::uint8_t* p = a.data();
        for (std::size_t i = 0; i < n; ++i) words[i] = static_cast<WORD>(p[i] * 257);
        bits = 8;
    } else if (py::isinstance<py::array_t<std::uint16_t>>(array)) {
        auto a = py::array_t<std::uint16_t, py::array::c_style>::ensure(array);
        std::copy(a.data(), a.data() + n, words.begin());
        bits = 16;
    } else if (array.dtype().kind() == 'f') {
        // float64 and float16 as float32 first: the values the float32 path sees.
        auto a = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(array);
        // The conversion the image reader applies to floating-point files.
        OIIO::convert_pixel_values(OIIO::TypeDesc::FLOAT, a.data(), OIIO::TypeDesc::UINT16,
                                   words.data(), static_cast<int>(n));
        bits = 16;
    } else {
        throw std::runtime_error(what + ": expected dtype uint8, uint16 or a float type, not " +
                                 py::str(array.dtype()).cast<std::string>());
    }
    return words;
}

}  // namespace

py::array ArrayArg(const py::object& value, const std::string& what) {
    if (py::isinstance<py::array>(value)) return value.cast<py::array>();
    if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) || value.is_none()) {
        throw py::type_error(what + ": expected an array, not " +
                             py::str(value.get_type().attr("__name__")).cast<std::string>());
    }
    py::object array;
    try {
        array = py::module_::import("numpy").attr("asarray")(value);
    } catch (const py::error_already_set& e) {
        throw py::type_error(what + ": expected an array of numbers (" + std::string(e.what()) +
                             ")");
    }
    const py::array result = array.cast<py::array>();
    const char kind = result.dtype().kind();
    if (kind != 'f' && kind != 'u' && kind != 'i' && kind != 'b') {
        throw py::type_error(what + ": expected an array of numbers, not of " +
                             py::str(result.dtype()).cast<std::string>());
    }
    return result;
}

py::array RenderArray(loom::RenderImages&& images, Output output) {
    if (output == Output::kColor) {
        // The pixels move into the array's owner: no copy.
        auto* pixels = new std::vector<float>(std::move(images.color.rgba));
        py::capsule owner(pixels, [](void* p) { delete static_cast<std::vector<float>*>(p); });
        const py::ssize_t h = images.color.height, w = images.color.width;
        return py::array_t<float>({h, w, py::ssize_t{4}}, pixels->data(), owner);
    }
    const loom::FloatImage& img = output == Output::kMono ? images.mono : images.normal;
    const py::ssize_t h = img.height, w = img.width;
    const py::ssize_t channels = output == Output::kMono ? 1 : 3;
    py::array_t<float> out =
        output == Output::kMono ? py::array_t<float>({h, w}) : py::array_t<float>({h, w, channels});
    float* dst = out.mutable_data();
    const std::size_t pixels = static_cast<std::size_t>(h) * static_cast<std::size_t>(w);
    for (std::size_t i = 0; i < pixels; ++i) {
        for (py::ssize_t c = 0; c < channels; ++c)
            *dst++ = img.rgba[i * 4 + static_cast<std::size_t>(c)];
    }
    return out;
}

loom::Image16 Image16FromArray(const py::array& array, const std::string& what) {
    const Shape s = ImageShape(array, what, 4);
    loom::Image16 img;
    const std::vector<WORD> words = Words(array, what, img.bits);
    img.width = static_cast<int>(s.width);
    img.height = static_cast<int>(s.height);
    img.hasAlpha = s.channels == 2 || s.channels == 4;
    img.pixels.resize(static_cast<std::size_t>(s.width * s.height));
    const WORD* p = words.data();
    for (BMM_Color_64& px : img.pixels) {
        if (s.channels >= 3) {
            px.r = p[0];
            px.g = p[1];
            px.b = p[2];
        } else {
            px.r = px.g = px.b = p[0];
        }
        px.a = img.hasAlpha ? p[s.channels - 1] : 65535;
        p += s.channels;
    }
    return img;
}

py::array ArrayFromImage16(const loom::Image16& image) {
    const py::ssize_t channels = image.hasAlpha ? 4 : 3;
    py::array_t<std::uint16_t> out({py::ssize_t{image.height}, py::ssize_t{image.width}, channels});
    std::uint16_t* dst = out.mutable_data();
    for (const BMM_Color_64& px : image.pixels) {
        *dst++ = px.r;
        *dst++ = px.g;
        *dst++ = px.b;
        if (image.hasAlpha) *dst++ = px.a;
    }
    return out;
}

loom::FloatImage FloatImageFromArray(const py::array& array, const std::string& what) {
    const Shape s = ImageShape(array, what, 4);
    if (s.channels == 2) throw std::runtime_error(what + ": expected 1, 3 or 4 channels");
    auto a = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!a) throw std::runtime_error(what + ": expected an array of numbers");
    loom::FloatImage img;
    img.width = static_cast<int>(s.width);
    img.height = static_cast<int>(s.height);
    img.rgba.resize(static_cast<std::size_t>(s.width * s.height) * 4);
    const float* p = a.data();
    for (std::size_t i = 0; i < img.rgba.size(); i += 4, p += s.channels) {
        for (int c = 0; c < 3; ++c)
            img.rgba[i + static_cast<std::size_t>(c)] = p[s.channels >= 3 ? c : 0];
        img.rgba[i + 3] = s.channels == 4 ? p[3] : 1.0f;
    }
    return img;
}

}  // namespace loomwork
