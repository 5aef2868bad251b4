// The Python module loomwork._loomwork: textures, renders, samples, the stereo filter and
// scene files of the host application, for Python programs. The package loomwork
// (python/loomwork/__init__.py) re-exports it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>

#include "app/cli/setting_text.h"
#include "app/core/filter/image16.h"
#include "app/core/jobs/frame_range.h"
#include "app/core/jobs/render_sequence.h"
#include "app/core/model/scene_load.h"
#include "app/core/stereo/colour_matrix.h"
#include "app/core/stereo/colour_methods.h"
#include "app/core/stereo/compose_pair.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/image_codec.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "python/src/anaglyph.h"
#include "python/src/arrays.h"
#include "python/src/class_params.h"
#include "python/src/errors.h"
#include "python/src/model_hold.h"
#include "python/src/plugins.h"
#include "python/src/stereo.h"
#include "python/src/texture.h"

namespace py = pybind11;
using loomwork::FileError;
using loomwork::NameError;
using loomwork::Texture;

namespace {

struct ClassInfo {
    std::string name;
    std::string shortName;
    std::string kind;
    std::string category;
    std::string plugin;
    std::pair<ULONG, ULONG> classId;
};

std::vector<ClassInfo> Classes() {
    const loom::PluginLoader& plugins = loomwork::Plugins();
    loomwork::ModelHold hold;
    std::vector<ClassInfo> out;
    for (const loom::LoadedPlugin& p : plugins.Plugins()) {
        for (ClassDesc* cd : p.classes) {
            const SClass_ID super = cd->SuperClassID();
            out.push_back({loom::Utf8FromCp1252(cd->ClassName()),
                           std::filesystem::path(p.path).stem().string(),
                           super == TEXMAP_CLASS_ID         ? "texture"
                           : super == IMAGE_FILTER_CLASS_ID ? "filter"
                                                            : "other",
                           loom::Utf8FromCp1252(cd->Category()),
                           p.path,
                           {cd->ClassID().PartA(), cd->ClassID().PartB()}});
        }
    }
    return out;
}

/// A Python value as the model's value for a row of `type`, unchecked.
loom::ModelValue UncheckedValue(py::handle handle, ParamType type, const std::string& name,
                                const std::string& what) {
    const auto value = py::reinterpret_borrow<py::object>(handle);
    if (py::isinstance<py::str>(value)) {
        return loom::ParseSetting(type, value.cast<std::string>(), what);
    }
    if (type == TYPE_RGBA) {
        if (!py::isinstance<py::sequence>(value) && !py::isinstance<py::array>(value)) {
            throw py::type_error(name + ": a colour is a sequence (R, G, B)");
        }
        // Any number of components: the model says what is wrong.
        std::vector<double> components;
        for (py::handle c : py::list(value)) {
            components.push_back(py::float_(py::reinterpret_borrow<py::object>(c)));
        }
        return loom::ModelValue::Colour(std::move(components));
    }
    if (py::isinstance<py::bool_>(value)) return loom::ModelValue::Flag(value.cast<bool>());
    if (py::isinstance<py::int_>(value)) {
        // Shown exactly, however large; one beyond any double is not a number.
        const std::string digits = py::str(value).cast<std::string>();
        const double d = PyLong_AsDouble(value.ptr());
        if (d == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            return loom::ModelValue::Number(std::numeric_limits<double>::infinity(), digits);
        }
        return loom::ModelValue::Number(d, digits);
    }
    if (!PyNumber_Check(value.ptr())) throw py::type_error(name + ": expected a number");
    // A whole float for a whole-number row is taken as the command line takes "4.0".
    return loom::ModelValue::Number(py::float_(value));
}

/// A Python value as the model's value for a row of `type`, checked as the row takes it;
/// `what` names it in messages ("'U Scale'"). A string is read as the command line reads
/// its text.
loom::ModelValue Value(py::handle handle, ParamType type, const std::string& name,
                       const std::string& what) {
    loom::ModelValue v = UncheckedValue(handle, type, name, what);
    // Checked here so that a refusal names the parameter as Python code does; the model
    // checks it again in the command line's words.
    if (!v.IsMap()) loom::RowValue(type, v, what);
    return v;
}

py::object ValueObject(const loomwork::TypedValue& v) {
    if (v.type == TYPE_RGBA) {
        return py::make_tuple(Widen(v.value.v[0]), Widen(v.value.v[1]), Widen(v.value.v[2]));
    }
    if (v.type == TYPE_INT) return py::int_(v.value.AsInt());
    return py::float_(Widen(v.value.v[0]));
}

/// Sets a parameter or, for a texture, an image path or None on a slot, a sub-map.
void SetItem(Texture& tex, const std::string& name, py::handle value, double frame) {
    loomwork::ModelHold hold;
    const bool isSlotValue =
        value.is_none() || py::isinstance<Texture>(value) || py::isinstance<py::str>(value);
    bool isSlot = false;
    if (isSlotValue) {
        try {
            tex.GetMap(name);
            isSlot = true;
        } catch (const NameError&) {
        }
    }
    if (isSlot) {
        if (py::isinstance<Texture>(value)) {
            tex.SetMap(name, &value.cast<Texture&>(), {});
        } else {
            tex.SetMap(name, nullptr, value.is_none() ? "" : value.cast<std::string>());
        }
        return;
    }
    if (value.is_none() || py::isinstance<Texture>(value)) {
        // Reported as the name being no slot, with the slots listed.
        tex.GetMap(name);
    }
    tex.SetParam(name, Value(value, tex.ParamTypeOf(name), name, "'" + name + "'"), frame);
}

std::string NameFromKeyword(const Texture& tex, const std::string& keyword) {
    // U_Scale=4 reaches "U Scale": Python keywords cannot hold spaces.
    std::string spaced = keyword;
    std::replace(spaced.begin(), spaced.end(), '_', ' ');
    if (spaced == keyword) return keyword;
    try {
        tex.ParamTypeOf(keyword);
        return keyword;
    } catch (const NameError&) {
    }
    try {
        tex.GetMap(keyword);
        return keyword;
    } catch (const NameError&) {
    }
    return spaced;
}

std::unique_ptr<Texture> MakeTexture(const std::string& className, const py::object& preset,
                                     double time, std::optional<std::int64_t> seed,
                                     const py::kwargs& params) {
    auto tex = std::make_unique<Texture>(className);
    loomwork::ModelHold hold;
    if (seed) tex->SetSeed(*seed);
    if (!preset.is_none()) {
        if (py::isinstance<py::str>(preset)) {
            tex->ClickPreset(preset.cast<std::string>());
        } else {
            for (py::handle p : preset) tex->ClickPreset(py::str(p).cast<std::string>());
        }
    }
    for (auto [key, value] : params) {
        SetItem(*tex, NameFromKeyword(*tex, key.cast<std::string>()), value, time);
    }
    return tex;
}

py::array Render(const Texture& tex, int width, int height, double time, std::optional<int> threads,
                 const std::string& output, std::optional<std::int64_t> seed, bool tile) {
    const loomwork::Output which = loomwork::ParseOutput(output);
    if (threads && *threads < 1) throw std::runtime_error("threads must be None or 1 or more");
    std::optional<std::uint32_t> seedValue;
    if (seed) {
        if (*seed < 0 || *seed > static_cast<std::int64_t>(kMaxTexSeed)) {
            throw std::runtime_error("seed " + std::to_string(*seed) + " is out of range (0.." +
                                     std::to_string(kMaxTexSeed) + ")");
        }
        seedValue = static_cast<std::uint32_t>(*seed);
    }
    loom::RenderImages images;
    {
        py::gil_scoped_release release;
        loomwork::RenderHold hold(tex.Get());
        images = tex.Render(width, height, time, threads.value_or(0), which, seedValue, tile);
    }
    return loomwork::RenderArray(std::move(images), which);
}

/// Frames rendered and written by the core's frame loop, for loomwork.distributed: the
/// frames written, and for each frame that failed its Python error's name and message.
std::pair<std::vector<int>, std::map<int, std::string>> RenderFrames(
    const Texture& tex, const std::vector<int>& frames, const std::vector<std::string>& files,
    int width, int height, const std::string& output, int bits, std::optional<int> threads) {
    const loomwork::Output which = loomwork::ParseOutput(output);
    if (threads && *threads < 1) throw std::runtime_error("threads must be None or 1 or more");
    loom::FramesOutcome outcome;
    {
        py::gil_scoped_release release;
        loomwork::RenderHold hold(tex.Get());
        outcome = tex.RenderFrames(frames, files, width, height, threads.value_or(0), which, bits);
    }
    std::map<int, std::string> failed;
    for (const loom::FrameFailure& f : outcome.failed) {
        // Named as the exceptions of render() and write_image() are.
        failed[f.frame] = std::string(f.writing ? "OSError: " : "ValueError: ") + f.why;
    }
    return {std::move(outcome.done), std::move(failed)};
}

/// The checks `render --frames` makes before any work, for loomwork.distributed: the size,
/// output, bits and threads, and (when `file` is not empty) that the first frame's file
/// could be written: its folder exists and a writer takes its extension.
void CheckFrames(const std::string& file, int width, int height, const std::string& output,
                 int bits, std::optional<int> threads) {
    loomwork::CheckRenderSize(width, height);
    loomwork::ParseOutput(output);
    if (bits != 8 && bits != 16) throw std::runtime_error("bits must be 8 or 16");
    if (threads && *threads < 1) throw std::runtime_error("threads must be None or 1 or more");
    std::string err;
    if (!file.empty() && !loom::CheckImageOutput(file, {}, err)) throw FileError(err);
}

/// Whether every file of a frame reads whole at `width` x `height` (`render --resume`).
bool FrameComplete(const std::vector<std::string>& files, int width, int height) {
    py::gil_scoped_release release;
    std::string why;
    for (const std::string& file : files) {
        if (!loom::ImageComplete(file, width, height, why)) return false;
    }
    return true;
}

/// The manifest `render --frames --manifest` writes, for frames rendered from Python:
/// saved to `path` whole or not at all.
void WriteFramesManifest(const std::string& path, const Texture& tex,
                         const std::vector<std::string>& command, const std::string& scene,
                         const std::string& entry, int width, int height, const std::string& output,
                         const std::string& pattern, int bits, int first, int last) {
    loom::RenderManifest m;
    m.command = command;
    if (scene.empty()) {
        m.className = tex.ClassName();
    } else {
        m.scene = scene;
        m.entry = entry;
    }
    m.width = width;
    m.height = height;
    m.outputs = {output};
    m.files = {pattern};
    m.bits = bits;
    m.firstFrame = m.runFirst = first;
    m.lastFrame = m.runLast = last;
    loomwork::ModelHold hold;
    m.seed = tex.Seed();
    const std::string text = loom::RenderManifestJson(m, tex.Get(), loom::FramesToTicks(first));
    std::string err;
    if (!loom::SaveFile(path, text.data(), text.size(), {}, err)) throw FileError(err);
}

py::array Sample(const Texture& tex, const py::object& u, const py::object& v, double time,
                 const std::string& output) {
    const loomwork::Output which = loomwork::ParseOutput(output);
    auto uArray = py::array_t<double, py::array::forcecast>::ensure(u);
    auto vArray = py::array_t<double, py::array::forcecast>::ensure(v);
    if (!uArray || !vArray) {
        PyErr_Clear();
        throw py::type_error("sample(): u and v must be numbers or arrays of numbers");
    }
    py::tuple both = py::module_::import("numpy").attr("broadcast_arrays")(uArray, vArray);
    auto us = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(both[0]);
    auto vs = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(both[1]);
    if (!us || !vs) throw std::runtime_error("sample: u and v must be numbers or arrays of them");
    std::vector<py::ssize_t> shape(us.shape(), us.shape() + us.ndim());
    if (which == loomwork::Output::kColor) shape.push_back(4);
    if (which == loomwork::Output::kNormal) shape.push_back(3);
    py::array_t<float> out(shape);
    float* dst = out.mutable_data();
    const double* pu = us.data();
    const double* pv = vs.data();
    const std::size_t count = static_cast<std::size_t>(us.size());
    {
        py::gil_scoped_release release;
        loomwork::RenderHold hold(tex.Get());
        tex.Sample(pu, pv, count, time, which, dst);
    }
    return out;
}

/// Text of the program (messages, names from files) as Python text: bytes that are not
/// UTF-8 are shown as \\xNN escapes, so that nothing from a file can make the text fail.
py::str Text(const std::string& text) {
    PyObject* o =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(o);
}

/// The frames of a frame list ("1-3,5,7-20:2"), ascending.
std::vector<int> FrameNumbers(const std::string& text) {
    const loom::FrameList list = loom::ParseFrameList(text, "frames");
    constexpr long long kMaxListed = 1000000;
    if (list.Count() > kMaxListed) {
        throw std::runtime_error("frames '" + text + "': " + std::to_string(list.Count()) +
                                 " frames; at most " + std::to_string(kMaxListed) + " at once");
    }
    std::vector<int> frames;
    frames.reserve(static_cast<size_t>(list.Count()));
    list.ForEach([&](long long, int frame) { frames.push_back(frame); });
    return frames;
}

/// Raises `type` with `message` (Text); for the exception translator.
void SetError(PyObject* type, const char* message) {
    PyObject* text = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)),
                                          "backslashreplace");
    if (!text) return;  // the decoding's own error stands
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

/// A file path from Python as the system names it: text (encoded as os.fsencode does, so
/// that names that are not UTF-8 arrive as their bytes), bytes, or a path object.
std::string PathArg(const py::handle& path) {
    PyObject* bytes = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &bytes)) throw py::error_already_set();
    const py::bytes owned = py::reinterpret_steal<py::bytes>(bytes);
    return std::string(owned);
}

/// Issues a UserWarning; when warnings are errors (-W error) the warning is raised as one.
void Warn(const std::string& message) {
    PyObject* category = PyExc_UserWarning;
    py::module_::import("warnings").attr("warn")(Text(message), py::handle(category), 2);
}

/// Loads a scene from a file, or from `bytes` when given (`path` then names them).
py::dict LoadSceneFrom(const std::string& path, const std::optional<std::string>& bytes) {
    auto holder = std::make_shared<loom::SceneHolder>();
    loom::SceneLoadReport report;
    std::string err;
    std::vector<std::string> notes;
    // Loaded as a fresh `loomhost` process loads it; each texture goes on from there.
    loomwork::RandStream stream;
    {
        loomwork::ModelHold hold;
        loomwork::Plugins();
        loomwork::RandStream::Use use(stream);
        const bool loaded =
            bytes ? loom::LoadSceneBytes(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                         bytes->size(), *holder, report, err)
                  : loom::LoadSceneFile(path, *holder, report, err);
        if (!loaded) throw FileError(bytes ? path + ": " + err : err);
        notes = loom::SceneLoadNotes(path, report);
    }
    for (const std::string& n : notes) Warn(n);
    py::dict out;
    loomwork::ModelHold hold;
    for (int i = 0; i < holder->Count(); ++i) {
        if (auto* tex = dynamic_cast<Texmap*>(holder->Object(i))) {
            out[Text(holder->Name(i))] =
                py::cast(std::make_unique<Texture>(holder, tex, holder->Name(i), stream));
        }
    }
    return out;
}

/// The textures to save: a dict by entry name, a list or one Texture (by their labels).
std::vector<std::pair<std::string, Texture*>> SceneEntries(const py::object& textures) {
    std::vector<std::pair<std::string, Texture*>> entries;
    if (py::isinstance<Texture>(textures)) {
        Texture& t = textures.cast<Texture&>();
        entries.emplace_back(t.Label(), &t);
    } else if (py::isinstance<py::dict>(textures)) {
        for (auto [name, tex] : textures.cast<py::dict>()) {
            entries.emplace_back(name.cast<std::string>(), &tex.cast<Texture&>());
        }
    } else {
        for (py::handle tex : textures) {
            Texture& t = tex.cast<Texture&>();
            entries.emplace_back(t.Label(), &t);
        }
    }
    return entries;
}

/// Holds the entries as a scene while it lives; the textures stay with their owners.
class SceneOf {
  public:
    SceneOf(const std::vector<std::pair<std::string, Texture*>>& entries, const std::string& what) {
        if (entries.empty()) throw std::runtime_error(what + ": no texture to save");
        for (const auto& [name, tex] : entries) {
            if (scene_.Find(name) >= 0) {
                throw std::runtime_error(what + ": two textures named '" + name + "'");
            }
            scene_.Add(name, tex->Get());
        }
    }
    ~SceneOf() { scene_.Clear(); }
    SceneOf(const SceneOf&) = delete;
    SceneOf& operator=(const SceneOf&) = delete;
    loom::SceneHolder& Scene() { return scene_; }

  private:
    loom::SceneHolder scene_;
};

void SaveScene(const std::string& path, const py::object& textures) {
    const auto entries = SceneEntries(textures);
    loomwork::ModelHold hold;
    SceneOf scene(entries, path);
    std::string err;
    if (!loom::SaveSceneFile(path, scene.Scene(), err)) throw FileError(err);
}

/// A scene file's bytes, for sending textures to other processes.
py::bytes SceneBytes(const py::object& textures) {
    const auto entries = SceneEntries(textures);
    loomwork::ModelHold hold;
    SceneOf scene(entries, "scene");
    const std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(scene.Scene());
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

/// Samples of `channels` channels from `samples` (of samples.channels): grey repeated for
/// colour, an opaque alpha where the file has none, alpha dropped where none is asked.
template <typename Sample>
py::array ConvertedSamples(const std::string& path, loom::ImageSamples& samples, int channels,
                           Sample opaque) {
    const py::ssize_t h = samples.height, w = samples.width;
    std::vector<py::ssize_t> shape{h, w};
    if (channels > 1) shape.push_back(channels);
    const int from = samples.channels;
    if (from == channels) {
        // The decoded samples become the array's: no copy.
        std::uint8_t* owned = samples.data.release();
        py::capsule owner(owned, [](void* p) { delete[] static_cast<std::uint8_t*>(p); });
        return py::array_t<Sample>(shape, reinterpret_cast<const Sample*>(owned), owner);
    }
    if (from >= 3 && channels <= 2) {
        throw std::runtime_error(path + ": holds colour; channels=" + std::to_string(channels) +
                                 " reads grey files only (use 3 or 4)");
    }
    py::array_t<Sample> out(shape);
    Sample* dst = out.mutable_data();
    const auto* src = reinterpret_cast<const Sample*>(samples.data.get());
    const size_t pixels = static_cast<size_t>(h) * static_cast<size_t>(w);
    const bool fromAlpha = from == 2 || from == 4;
    for (size_t i = 0; i < pixels; ++i, src += from) {
        const Sample alpha = fromAlpha ? src[from - 1] : opaque;
        if (channels >= 3) {
            for (int c = 0; c < 3; ++c) *dst++ = src[from >= 3 ? c : 0];
        } else {
            *dst++ = src[0];
        }
        if (channels == 2 || channels == 4) *dst++ = alpha;
    }
    return out;
}

/// read_image with `channels` or `native`: the samples at the depth of `dtype` (None: the
/// file's own), with the file's own channels or `channels`.
py::array ReadImageSamplesArray(const std::string& path, const std::optional<std::string>& dtype,
                                std::optional<int> channels) {
    int bits = 0;
    if (dtype) {
        if (*dtype == "uint8") {
            bits = 8;
        } else if (*dtype == "uint16") {
            bits = 16;
        } else if (*dtype == "float32") {
            bits = 32;
        } else {
            throw std::runtime_error("dtype '" + *dtype + "': use uint8, uint16 or float32");
        }
    }
    if (channels && (*channels < 1 || *channels > 4)) {
        throw std::runtime_error("channels must be 1, 2, 3 or 4, not " + std::to_string(*channels));
    }
    loom::ImageSamples samples;
    std::string err;
    bool read;
    {
        py::gil_scoped_release release;
        read = loom::ReadImageSamples(path, bits, samples, err);
    }
    if (!read) throw FileError(err);
    const int want = channels.value_or(samples.channels);
    if (samples.bits == 8) return ConvertedSamples<std::uint8_t>(path, samples, want, 255);
    if (samples.bits == 16) return ConvertedSamples<std::uint16_t>(path, samples, want, 65535);
    return ConvertedSamples<float>(path, samples, want, 1.0f);
}

py::array ReadImageArray(const std::string& path, const std::optional<std::string>& dtypeGiven,
                         std::optional<int> channels, bool native) {
    if (native || channels || dtypeGiven == "uint8") {
        if (native) return ReadImageSamplesArray(path, dtypeGiven, channels);
        return ReadImageSamplesArray(path, dtypeGiven.value_or("float32"), channels.value_or(4));
    }
    const std::string dtype = dtypeGiven.value_or("float32");
    std::string err;
    if (dtype == "float32") {
        loom::FloatImage img;
        int bits = 0;
        bool read;
        {
            py::gil_scoped_release release;
            read = loom::ReadImage(path, img, bits, err);
        }
        if (!read) throw FileError(err);
        auto* pixels = new std::vector<float>(std::move(img.rgba));
        py::capsule owner(pixels, [](void* p) { delete static_cast<std::vector<float>*>(p); });
        return py::array_t<float>({py::ssize_t{img.height}, py::ssize_t{img.width}, py::ssize_t{4}},
                                  pixels->data(), owner);
    }
    if (dtype != "uint16") {
        throw std::runtime_error("dtype '" + dtype + "': use float32, uint16 or uint8");
    }
    loom::Image16 img;
    bool read;
    {
        py::gil_scoped_release release;
        read = loom::ReadImage16(path, img, err);
    }
    if (!read) throw FileError(err);
    img.hasAlpha = true;
    return loomwork::ArrayFromImage16(img);
}

void WriteImageArray(const py::object& pathArg, const py::object& imageArg,
                     std::optional<int> bits) {
    const std::string path = PathArg(pathArg);
    if (bits && *bits != 8 && *bits != 16) throw std::runtime_error("bits must be 8 or 16");
    const py::array image = loomwork::ArrayArg(imageArg, path);
    std::string err;
    bool written;
    if (py::isinstance<py::array_t<std::uint8_t>>(image) ||
        py::isinstance<py::array_t<std::uint16_t>>(image)) {
        const loom::Image16 img = loomwork::Image16FromArray(image, path);
        py::gil_scoped_release release;
        written = loom::WriteImage(path, img, bits.value_or(img.bits), err);
    } else {
        if (image.dtype().kind() != 'f') {
            // 0..255 or 0..65535 would be read as 0..1 and clipped: the caller says which.
            throw std::runtime_error(path + ": an image of " +
                                     py::str(image.dtype()).cast<std::string>() +
                                     " values; give uint8, uint16 or floats 0..1");
        }
        const loom::FloatImage img = loomwork::FloatImageFromArray(image, path);
        py::gil_scoped_release release;
        written = loom::WriteImage(path, img, bits.value_or(8), err);
    }
    if (!written) throw FileError(err);
}

py::array AnaglyphArrays(const py::object& left, const py::object& right,
                         const std::string& leftEye, const std::string& rightEye, double leftComp,
                         double rightComp, const std::string& method,
                         const std::optional<std::string>& glasses, const py::object& align,
                         const py::object& parallax, const std::optional<std::string>& crop,
                         const py::object& matrix, bool linear, bool swap) {
    loom::stereo::AnaglyphSettings settings;
    settings.method = loomwork::ArgumentNamed(
        "--method", "method", [&] { return loom::stereo::ParseAnaglyphMethod(method); });
    if (glasses) {
        settings.glasses = loomwork::ArgumentNamed(
            "--glasses", "glasses", [&] { return loom::stereo::ParseGlasses(*glasses); });
    }
    if (!matrix.is_none()) {
        if (method != "grey" || glasses) {
            throw std::runtime_error(
                "matrix is a composition of its own: give it without "
                "method and glasses");
        }
        std::string text;
        if (py::isinstance<py::str>(matrix)) {
            text = matrix.cast<std::string>();
        } else {
            for (const double v : matrix.cast<std::vector<double>>()) {
                if (!text.empty()) text += ',';
                text += py::str(py::float_(v)).cast<std::string>();
            }
        }
        settings.matrix = loomwork::ArgumentNamed(
            "--matrix", "matrix", [&] { return loom::stereo::ParseColourMatrix(text); });
    }
    if (linear) {
        if (settings.method == loom::stereo::AnaglyphMethod::kGrey && !settings.matrix) {
            throw std::runtime_error(
                "linear composes the colour methods and matrix in linear "
                "light; the grey method keeps its own arithmetic");
        }
        settings.linear = true;
    }
    const loom::stereo::AdjustOptions adjust =
        loomwork::AdjustFromArguments(align, parallax, crop, swap);
    if (settings.method != loom::stereo::AnaglyphMethod::kGrey &&
        (leftEye != "red" || rightEye != "green" || leftComp != -0.1 || rightComp != -0.1)) {
        throw std::runtime_error(std::string("method ") +
                                 loom::stereo::MethodName(settings.method) +
                                 " takes glasses; left_eye, right_eye, left_comp and right_comp "
                                 "set the grey method");
    }
    loom::Image16 l = loomwork::Image16FromArray(loomwork::ArrayArg(left, "left"), "left");
    loom::Image16 r = loomwork::Image16FromArray(loomwork::ArrayArg(right, "right"), "right");
    if (adjust.Any()) {
        py::gil_scoped_release release;
        if (l.width != r.width || l.height != r.height) {
            throw std::runtime_error("the views differ in size");
        }
        try {
            loom::stereo::AdjustPair(adjust, l, r);
        } catch (const std::invalid_argument& e) {
            throw std::runtime_error(e.what());
        }
    }
    loom::Image16 result;
    if (settings.method == loom::stereo::AnaglyphMethod::kGrey && !settings.matrix) {
        if (glasses) {
            throw std::runtime_error(
                "glasses go with the colour methods; the grey method takes "
                "left_eye and right_eye");
        }
        py::gil_scoped_release release;
        result = loomwork::Anaglyph(l, r, {leftEye, rightEye, leftComp, rightComp});
    } else {
        // The colour methods compose in the application, as `loomhost anaglyph --method` does.
        py::gil_scoped_release release;
        loom::FilterProgressWindow window("anaglyph", nullptr, false);
        std::string err;
        if (loom::stereo::ComposePair(settings, nullptr, l, r, window, nullptr, result, err) !=
            loom::FilterOutcome::kDone) {
            throw std::runtime_error(err);
        }
    }
    return loomwork::ArrayFromImage16(result);
}

}  // namespace

PYBIND11_MODULE(_loomwork, m) {
    m.doc() = "Procedural textures and the stereo filter of loomwork, for Python.";
    m.attr("__version__") = LOOMWORK_VERSION;

    // Messages may carry file names that are not UTF-8: their bytes are shown escaped.
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const py::builtin_exception& e) {
            e.set_error();
        } catch (const NameError& e) {
            SetError(PyExc_KeyError, e.what());
        } catch (const FileError& e) {
            SetError(PyExc_OSError, e.what());
        } catch (const std::runtime_error& e) {
            SetError(PyExc_ValueError, e.what());
        }
    });

    m.def("_set_default_plugin_folders", &loomwork::SetDefaultPluginFolders);
    m.def(
        "load_plugins",
        [](const py::object& folders) {
            std::vector<std::string> paths;
            if (!folders.is_none()) {
                if (py::isinstance<py::str>(folders) || py::isinstance<py::bytes>(folders) ||
                    py::hasattr(folders, "__fspath__")) {
                    throw py::type_error("load_plugins(): folders is a list of folders");
                }
                for (py::handle f : folders) paths.push_back(PathArg(f));
            }
            return loomwork::LoadPlugins(paths);
        },
        py::arg("folders") = py::none(),
        "Loads the plug-ins from `folders` (default: $LOOMHOST_PLUGINS, else the package's "
        "plug-in folder) unless they are loaded already; returns why libraries were skipped. "
        "Needed only to choose the folders: everything else loads them on first use.");
    m.def("plugin_folders", &loomwork::PluginFoldersLoaded,
          "The folders the plug-ins were loaded from (empty before they are loaded).");

    py::class_<ClassInfo>(m, "ClassInfo", "A class a plug-in offers.")
        .def_readonly("name", &ClassInfo::name, "The class name, as `loomhost list` shows it")
        .def_readonly("short_name", &ClassInfo::shortName,
                      "The plug-in file's name, which Texture() also accepts")
        .def_readonly("kind", &ClassInfo::kind, "'texture', 'filter' or 'other'")
        .def_readonly("category", &ClassInfo::category)
        .def_readonly("plugin", &ClassInfo::plugin, "Path of the plug-in library")
        .def_readonly("class_id", &ClassInfo::classId)
        .def("__repr__", [](const ClassInfo& c) {
            return "ClassInfo(name='" + c.name + "', short_name='" + c.shortName + "', kind='" +
                   c.kind + "')";
        });
    m.def("classes", &Classes, "The textures and filters of the loaded plug-ins.");
    loomwork::BindClassParams(m);

    py::class_<Texture>(m, "Texture", R"(A procedural texture of a plug-in.

Texture(class_name, preset=None, time=0, **params) makes one of the class (its name as
classes() lists it, or the short name such as "nimbra"), clicks the preset button(s) of
its panel, then sets the parameters: tex = Texture("nimbra", U_Scale=4) (underscores stand
for spaces) or Texture("nimbra", **{"U Scale": 4}).

Parameters are read and set by their panel names: tex["U Scale"] = 4; colours are (R, G, B)
tuples; "Slot.Name" reaches into a sub-map. Assigning a Texture to a sub-map slot shares it,
a string puts that image file there, None empties the slot. Values are set at frame `time`
by set(), keys animate them with key() (linearly between two keys; keyframes() lists them,
remove_key() removes one). A texture is a mapping of its own parameters: keys(), values(),
items(), iteration and len(); info(name) says what a parameter is. Errors: KeyError for a
name that is not there (the message lists the valid ones), ValueError for a value the
texture refuses, TypeError for an argument of the wrong type.)")
        .def(py::init(&MakeTexture), py::arg("class_name"), py::arg("preset") = py::none(),
             py::arg("time") = 0.0, py::arg("seed") = py::none())
        .def_property(
            "seed",
            [](const Texture& t) {
                loomwork::ModelHold hold;
                return t.Seed();
            },
            [](Texture& t, std::int64_t seed) {
                loomwork::ModelHold hold;
                t.SetSeed(seed);
            },
            "The seed of the texture and its sub-maps (0, the default seed, gives the built-in "
            "noise tables and draws; up to 2147483647); saved with it in scenes")
        .def_property_readonly("class_name", &Texture::ClassName,
                               "The class name the plug-in gives")
        .def_property_readonly(
            "label", [](const Texture& t) { return Text(t.Label()); },
            "The name it was made with, or its scene entry's name")
        .def(
            "params",
            [](const Texture& t) {
                loomwork::ModelHold hold;
                return t.ParamNames();
            },
            "Parameter names, in the panel's order.")
        .def(
            "maps",
            [](const Texture& t) {
                loomwork::ModelHold hold;
                return t.MapNames();
            },
            "Sub-map slot names.")
        .def(
            "get",
            [](const Texture& t, const std::string& name, double time) {
                loomwork::ModelHold hold;
                return ValueObject(t.GetParam(name, time));
            },
            py::arg("name"), py::arg("time") = 0.0,
            "The value of parameter `name` at frame `time`: float, int or (R, G, B).")
        .def(
            "set",
            [](Texture& t, const std::string& name, py::handle value, double time) {
                SetItem(t, name, value, time);
            },
            py::arg("name"), py::arg("value"), py::arg("time") = 0.0,
            "Sets parameter `name` at frame `time` (or a sub-map, as tex[name] = value).")
        .def(
            "__getitem__",
            [](const Texture& t, const std::string& name) {
                loomwork::ModelHold hold;
                return ValueObject(t.GetParam(name, 0.0));
            },
            py::arg("name"))
        .def(
            "__setitem__",
            [](Texture& t, const std::string& name, py::handle value) {
                SetItem(t, name, value, 0.0);
            },
            py::arg("name"), py::arg("value"))
        .def(
            "__contains__",
            [](const Texture& t, const std::string& name) {
                loomwork::ModelHold hold;
                for (auto* probe : {+[](const Texture&x, const std::string&n) { x.ParamTypeOf(n); },
                                    +[](const Texture&x, const std::string&n) { x.GetMap(n); }}) {
                    try {
                        probe(t, name);
                        return true;
                    } catch (const std::runtime_error&) {
                    }
                }
                return false;
            },
            py::arg("name"))
        .def(
            "key",
            [](Texture& t, const std::string& name, double frame, py::handle value) {
                loomwork::ModelHold hold;
                t.Key(name, frame, Value(value, t.ParamTypeOf(name), name, "'" + name + "'"));
            },
            py::arg("name"), py::arg("frame"), py::arg("value"),
            "Adds a key: parameter `name` takes `value` at `frame` (30 frames a second).")
        .def(
            "_keys",
            [](const Texture& t, const std::string& name) {
                loomwork::ModelHold hold;
                const ParamType type = t.ParamTypeOf(name);
                py::list out;
                for (const ParamKey& k : t.Keys(name)) {
                    out.append(py::make_tuple(static_cast<double>(k.time) / kTicksPerFrame,
                                              ValueObject({type, k.value})));
                }
                return out;
            },
            py::arg("name"))
        .def(
            "remove_key",
            [](Texture& t, const std::string& name, double frame) {
                loomwork::ModelHold hold;
                t.RemoveKey(name, frame);
            },
            py::arg("name"), py::arg("frame"),
            "Removes the key of parameter `name` at `frame`; removing the last key leaves its "
            "value at every frame. ValueError when there is no key at that frame.")
        .def(
            "preset",
            [](Texture& t, const std::string& name) {
                loomwork::ModelHold hold;
                t.ClickPreset(name);
            },
            py::arg("name"),
            "Clicks the button with this text in the texture's panel: a preset, palette or "
            "mutation, as `loomhost render --preset` does.")
        .def(
            "map",
            [](const Texture& t, const std::string& name) {
                loomwork::ModelHold hold;
                return t.GetMap(name);
            },
            py::arg("name"), "The texture in sub-map slot `name` (shared), or None.")
        .def("render", &Render, py::arg("width"), py::arg("height"), py::arg("time") = 0.0,
             py::arg("threads") = py::none(), py::arg("output") = "color",
             py::arg("seed") = py::none(), py::arg("tile") = false,
             R"(Renders the texture over the unit square at frame `time`, as `loomhost render`
does (the same bits as its EXR files). output "color" gives float32 (H, W, 4) RGBA,
"mono" (H, W), "normal" (H, W, 3). threads None: one per core. seed: render with this seed
(as --seed; None: the texture's own). tile: a seamless tile (as --tile). Python's other
threads run meanwhile.)")
        .def("sample", &Sample, py::arg("u"), py::arg("v"), py::arg("time") = 0.0,
             py::arg("output") = "color",
             R"(Evaluates the texture at points (u, v) (numbers or arrays, broadcast together)
as `loomhost eval` does: float32 arrays of shape u.shape + (4,) for "color", u.shape for
"mono", u.shape + (3,) for "normal" (the normal perturbation).)")
        .def("__repr__",
             [](const Texture& t) {
                 loomwork::ModelHold hold;
                 return Text("<loomwork.Texture '" + t.Label() + "' (" + t.ClassName() + ")>");
             })
        // Pickled as a one-entry scene file's bytes, so that textures reach other processes.
        .def(py::pickle(
            [](const py::object& self) {
                return py::make_tuple(SceneBytes(self), self.cast<const Texture&>().Label());
            },
            [](const py::tuple& state) {
                if (state.size() != 2) throw std::runtime_error("not a pickled Texture");
                py::dict loaded = LoadSceneFrom("pickled Texture", state[0].cast<std::string>());
                py::object tex = loaded[state[1]];
                return tex.cast<const Texture&>().Share();
            }));

    m.def("anaglyph", &AnaglyphArrays, py::arg("left"), py::arg("right"),
          py::arg("left_eye") = "red", py::arg("right_eye") = "green", py::arg("left_comp") = -0.1,
          py::arg("right_comp") = -0.1, py::arg("method") = "grey", py::arg("glasses") = py::none(),
          py::arg("align") = py::none(), py::arg("parallax") = py::none(),
          py::arg("crop") = py::none(), py::arg("matrix") = py::none(), py::arg("linear") = false,
          py::arg("swap") = false,
          R"(Composes a stereo pair into one anaglyph picture, as `loomhost anaglyph` does.
left and right: arrays (H, W), (H, W, 3) or (H, W, 4) of uint8, uint16 or float32 (0..1).
method "grey" (the stereo filter: eye colours "red", "green" or "blue", compensations
-0.5..0), or "half-colour", "colour" or "dubois" for glasses "red-cyan" (default),
"green-magenta" or "amber-blue".
align (True, "report", "try"), parallax (pixels or "auto"), crop ("auto", "none", "W:H")
and swap adjust the pair first, as align() does; matrix: 18 numbers (or their text, or a
file) composing the output's red, green, blue from the left view's r, g, b then the right
view's; linear: the colour methods and matrix compose in linear light.
Returns uint16 (H, W, 4) when an input has alpha, else (H, W, 3).)");
    m.def("_check_frames", &CheckFrames, py::arg("file"), py::arg("width"), py::arg("height"),
          py::arg("output"), py::arg("bits"), py::arg("threads"));
    m.def("_frame_complete", &FrameComplete, py::arg("files"), py::arg("width"), py::arg("height"));
    m.def(
        "_write_frames_manifest",
        [](const py::object& path, const Texture& tex, const std::vector<std::string>& command,
           const std::string& scene, const std::string& entry, int width, int height,
           const std::string& output, const std::string& pattern, int bits, int first, int last) {
            WriteFramesManifest(PathArg(path), tex, command, scene, entry, width, height, output,
                                pattern, bits, first, last);
        },
        py::arg("path"), py::arg("texture"), py::arg("command"), py::arg("scene"), py::arg("entry"),
        py::arg("width"), py::arg("height"), py::arg("output"), py::arg("pattern"), py::arg("bits"),
        py::arg("first"), py::arg("last"));
    m.def("_render_frames", &RenderFrames, py::arg("texture"), py::arg("frames"), py::arg("files"),
          py::arg("width"), py::arg("height"), py::arg("output"), py::arg("bits"),
          py::arg("threads"));
    loomwork::AddStereoFunctions(m);
    m.def("frame_list", &FrameNumbers, py::arg("text"),
          R"(The frames of a list as render farms write it: "1-3,5,7-20:2" is frames 1, 2, 3, 5,
7, 9, ..., 19. Parts are joined by commas, each a frame N, a range A-B or a range every S
frames A-B:S, in any order but not overlapping. At most a million frames.)");
    m.def("_scene_bytes", &SceneBytes, py::arg("textures"));
    m.def(
        "_load_scene_bytes",
        [](const py::bytes& data) { return LoadSceneFrom("scene bytes", std::string(data)); },
        py::arg("data"));
    m.def(
        "load_scene",
        [](const py::object& path) { return LoadSceneFrom(PathArg(path), std::nullopt); },
        py::arg("path"),
        "Loads a scene file: a dict of its texture entries by name. Notes about converted "
        "data and missing image maps come as warnings.");
    m.def(
        "save_scene",
        [](const py::object& path, const py::object& textures) {
            SaveScene(PathArg(path), textures);
        },
        py::arg("path"), py::arg("textures"),
        "Saves textures as a scene file: a dict of them by entry name, a list, or one "
        "(named by its label). The file is replaced whole or not at all.");
    m.def(
        "read_image",
        [](const py::object& path, const std::optional<std::string>& dtype,
           std::optional<int> channels,
           bool native) { return ReadImageArray(PathArg(path), dtype, channels, native); },
        py::arg("path"), py::arg("dtype") = py::none(), py::arg("channels") = py::none(),
        py::arg("native") = false,
        R"(Reads an image file as the application does: float32 (H, W, 4) on the 0..1 scale of
its format, dtype="uint16" as the stereo filter reads it, or dtype="uint8".
native=True keeps the file's own channels (up to four; (H, W) for grey) and, unless dtype
says otherwise, its own sample type (uint8, uint16, float32 for anything else).
channels: 1 (grey), 2 (grey and alpha), 3 (RGB) or 4 (RGBA); grey is repeated for colour,
alpha is opaque where the file has none; a colour file is not read as grey.)");
    m.def("write_image", &WriteImageArray, py::arg("path"), py::arg("image"),
          py::arg("bits") = py::none(),
          "Writes an image file chosen by extension (.png, .tif, .exr, .jpg) as `loomhost` "
          "does: float arrays (0..1) at `bits` 8 (default) or 16 per channel in PNG and TIFF "
          "and as they are in EXR; uint8 and uint16 arrays at their own depth. `image` is any "
          "array-like of shape (H, W), (H, W, 3) or (H, W, 4); `path` a str, bytes or path "
          "object.");
}
