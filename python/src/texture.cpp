#include "python/src/texture.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <thread>

#include "app/core/model/panel_session.h"
#include "app/core/render/render_memory.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/shade.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "python/src/errors.h"
#include "python/src/model_hold.h"
#include "python/src/plugins.h"

namespace loomwork {
namespace {

/// The largest side of a render, as `render --size` allows.
constexpr int kMaxRenderSide = 32768;

std::string List(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "'" : ", '") + n + "'";
    return s.empty() ? "none" : s;
}

std::vector<std::string> ParamNamesOf(Texmap* tex) {
    std::vector<std::string> names;
    IParamBlock* pb = loom::ParamBlockOf(tex);
    for (int i = 0; pb && i < pb->NumParams(); ++i) names.push_back(loom::ParamName(tex, i));
    return names;
}

std::vector<std::string> MapNamesOf(Texmap* tex) {
    std::vector<std::string> names;
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) names.push_back(tex->GetSubTexmapSlotName(i));
    return names;
}

}  // namespace

Output ParseOutput(const std::string& text) {
    if (text == "color") return Output::kColor;
    if (text == "mono") return Output::kMono;
    if (text == "normal") return Output::kNormal;
    throw std::runtime_error("output '" + text + "': use color, mono or normal");
}

void CheckRenderSize(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxRenderSide || height > kMaxRenderSide) {
        throw std::runtime_error("render " + std::to_string(width) + "x" + std::to_string(height) +
                                 ": width and height must be 1.." + std::to_string(kMaxRenderSide));
    }
}

Texture::Texture(const std::string& className) : label_(className) {
    const loom::PluginLoader& plugins = Plugins();
    ModelHold hold;
    RandStream::Use use(stream_);
    if (!plugins.FindClassByName(className)) {
        throw NameError("unknown class '" + className + "' (see loomwork.classes())");
    }
    tex_ = loom::CreateTexture(plugins, className);
    holder_ = std::make_shared<loom::SceneHolder>();
    holder_->Add(className, tex_);
}

Texture::Texture(std::shared_ptr<loom::SceneHolder> holder, Texmap* tex, std::string label,
                 RandStream stream)
    : holder_(std::move(holder)), tex_(tex), label_(std::move(label)), stream_(stream) {}

Texture::~Texture() {
    ModelHold hold;
    holder_.reset();
}

std::string Texture::ClassName() const {
    // The descriptor's name, as classes() lists it; the object's own name otherwise.
    const Class_ID id = tex_->ClassID();
    for (const loom::LoadedPlugin& p : Plugins().Plugins()) {
        for (ClassDesc* cd : p.classes) {
            if (cd->ClassID() == id && cd->SuperClassID() == TEXMAP_CLASS_ID) {
                return loom::Utf8FromCp1252(cd->ClassName());
            }
        }
    }
    TSTR name;
    tex_->GetClassName(name);
    return loom::Utf8FromCp1252(name);
}

std::vector<std::string> Texture::ParamNames() const { return ParamNamesOf(tex_); }
std::vector<std::string> Texture::MapNames() const { return MapNamesOf(tex_); }

template <class F>
auto Texture::Named(F f) const {
    try {
        return f();
    } catch (const loom::UnknownNameError& e) {
        ThrowUnknown(e.owner, e.what(), e.slot);
    }
}

void Texture::ThrowUnknown(Texmap* owner, const std::string& message, bool slots) const {
    const std::string valid = slots ? "sub-map slots: " + List(MapNamesOf(owner))
                                    : "parameters: " + List(ParamNamesOf(owner)) +
                                          "; sub-map slots: " + List(MapNamesOf(owner));
    throw NameError(message + " (" + valid + ")");
}

ParamType Texture::ParamTypeOf(const std::string& path) const {
    const loom::ParamRow p = Named([&] { return loom::FindParamRow(tex_, path); });
    return loom::ParamBlockOf(p.owner)->GetParameterType(p.row);
}

TypedValue Texture::GetParam(const std::string& path, double frame) const {
    const loom::ParamRow p = Named([&] { return loom::FindParamRow(tex_, path); });
    IParamBlock* pb = loom::ParamBlockOf(p.owner);
    Interval valid = FOREVER;
    return {pb->GetParameterType(p.row), pb->GetRaw(p.row, loom::FramesToTicks(frame), valid)};
}

void Texture::SetParam(const std::string& path, const loom::ModelValue& value, double frame) {
    RandStream::Use use(stream_);
    // Checked first, so that a wrong name lists the right ones.
    ParamTypeOf(path);
    const TimeValue t = loom::FramesToTicks(frame);
    Named([&] { loom::SetParam(Plugins(), tex_, path, value, t); });
}

void Texture::Key(const std::string& path, double frame, const loom::ModelValue& value) {
    RandStream::Use use(stream_);
    ParamTypeOf(path);
    const TimeValue t = loom::FramesToTicks(frame);
    Named([&] { loom::SetKey(tex_, path, t, value); });
}

std::vector<ParamKey> Texture::Keys(const std::string& path) const {
    const loom::ParamRow p = Named([&] { return loom::FindParamRow(tex_, path); });
    return loom::ParamBlockOf(p.owner)->Keys(p.row);
}

void Texture::RemoveKey(const std::string& path, double frame) {
    const loom::ParamRow p = Named([&] { return loom::FindParamRow(tex_, path); });
    IParamBlock* pb = loom::ParamBlockOf(p.owner);
    const TimeValue t = loom::FramesToTicks(frame);
    std::vector<ParamKey> keys = pb->Keys(p.row);
    const auto found =
        std::find_if(keys.begin(), keys.end(), [&](const ParamKey& k) { return k.time == t; });
    if (found == keys.end()) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", frame);
        throw std::runtime_error("'" + path + "' has no key at frame " + shown);
    }
    const ParamValue removed = found->value;
    keys.erase(found);
    // The block removes keys only all at once: the others are put back.
    RandStream::Use use(stream_);
    pb->SetConstant(p.row, removed);
    for (const ParamKey& k : keys) pb->SetKey(p.row, k.time, k.value);
}

std::unique_ptr<Texture> Texture::GetMap(const std::string& path) const {
    std::string name;
    Texmap* owner = Named([&] { return loom::WalkPath(tex_, path, name); });
    const int slot = loom::FindSlot(owner, name);
    if (slot < 0) ThrowUnknown(owner, "no sub-map slot '" + name + "'", true);
    Texmap* sub = owner->GetSubTexmap(slot);
    if (!sub) return nullptr;
    auto holder = std::make_shared<loom::SceneHolder>();
    holder->Add(name, sub);
    return std::make_unique<Texture>(holder, sub, name);
}

void Texture::SetMap(const std::string& path, const Texture* sub, const std::string& imagePath) {
    RandStream::Use use(stream_);
    const loom::ModelValue value = sub                 ? loom::ModelValue::Map(sub->Get())
                                   : imagePath.empty() ? loom::ModelValue::None()
                                                       : loom::ModelValue::Image(imagePath);
    try {
        Named([&] { loom::SetMap(Plugins(), tex_, path, value); });
    } catch (const loom::MapAssignError&) {
        const size_t dot = path.rfind('.');
        throw std::runtime_error("sub-map slot '" +
                                 (dot == std::string::npos ? path : path.substr(dot + 1)) +
                                 "': the map could not be assigned (a texture cannot hold "
                                 "itself)");
    }
}

void Texture::ClickPreset(const std::string& name) {
    RandStream::Use use(stream_);
    loom::PanelSession panel(tex_);
    panel.Click(name);
}

std::uint32_t Texture::Seed() const { return loom::SeedOf(tex_); }

void Texture::SetSeed(std::int64_t seed) {
    if (seed < 0 || seed > static_cast<std::int64_t>(kMaxTexSeed)) {
        throw std::runtime_error("seed " + std::to_string(seed) + " is out of range (0.." +
                                 std::to_string(kMaxTexSeed) + ")");
    }
    if (!loom::SetTreeSeed(tex_, static_cast<std::uint32_t>(seed))) {
        throw std::runtime_error("seed " + std::to_string(seed) + ": out of memory for its tables");
    }
}

loom::RenderOptions Texture::Options(int width, int height, double frame, int threads,
                                     Output output, std::optional<std::uint32_t> seed,
                                     bool tile) const {
    CheckRenderSize(width, height);
    if (threads < 0) throw std::runtime_error("threads must be None (one per core) or 1 or more");
    loom::RenderOptions ro;
    ro.width = width;
    ro.height = height;
    ro.threads =
        threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ro.time = loom::FramesToTicks(frame);
    ro.color = output == Output::kColor;
    ro.mono = output == Output::kMono;
    ro.normal = output == Output::kNormal;
    ro.seed = seed;
    ro.tile = tile;
    const loom::MemoryLimit limit = loom::UsableMemory();
    const std::uint64_t needed = loom::RenderPeakBytes(ro);
    if (needed > limit.bytes) {
        throw std::runtime_error("render " + std::to_string(width) + "x" + std::to_string(height) +
                                 " needs about " + loom::FormatBytes(needed) + ", more than " +
                                 limit.what + " (" + loom::FormatBytes(limit.bytes) + ")");
    }
    return ro;
}

loom::RenderImages Texture::Render(int width, int height, double frame, int threads, Output output,
                                   std::optional<std::uint32_t> seed, bool tile) const {
    const loom::RenderOptions ro = Options(width, height, frame, threads, output, seed, tile);
    loom::RenderImages images;
    RandStream::Use use(stream_);
    try {
        loom::RenderTexture(tex_, ro, images);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("render " + std::to_string(width) + "x" + std::to_string(height) +
                                 ": out of memory (it needs about " +
                                 loom::FormatBytes(loom::RenderPeakBytes(ro)) + ")");
    }
    return images;
}

loom::FramesOutcome Texture::RenderFrames(const std::vector<int>& frames,
                                          const std::vector<std::string>& files, int width,
                                          int height, int threads, Output output, int bits) const {
    if (files.size() != frames.size()) {
        throw std::runtime_error("render_frames: one file a frame");
    }
    if (bits != 8 && bits != 16) throw std::runtime_error("bits must be 8 or 16");
    const loom::RenderOptions ro = Options(width, height, 0.0, threads, output, {}, false);
    std::vector<loom::FrameFiles> jobs;
    for (size_t i = 0; i < frames.size(); ++i) jobs.push_back({frames[i], {files[i]}});
    RandStream::Use use(stream_);
    return loom::RenderFrames(tex_, ro, jobs, bits, {});
}

void Texture::Sample(const double* u, const double* v, std::size_t count, double frame,
                     Output output, float* out) const {
    RandStream::Use use(stream_);
    const TimeValue t = loom::FramesToTicks(frame);
    Interval valid = FOREVER;
    tex_->Update(t, valid);
    // A tree that draws random numbers goes point by point: the noise tables its maps build
    // on first use take their draws where one point after another first reaches them, and
    // a batch makes all its points' draws before any sub-map runs.
    if (!loom::GetTexmapBatch(tex_) || loom::RandomDrawingMaps(tex_) != 0) {
        SampleEach(u, v, count, t, output, out);
        return;
    }
    // Chunks of points through the batch interface: the same values as one EvalColor
    // (EvalMono, EvalNormalPerturb) after another; the only draws are a table build's.
    constexpr std::size_t kChunk = 1024;
    std::vector<float> us(kChunk), vs(kChunk), zero(kChunk, 0.0f);
    std::vector<AColor> colors(output == Output::kColor ? kChunk : 0);
    std::vector<Point3> normals(output == Output::kNormal ? kChunk : 0);
    TexBatchPoints pts;
    pts.time = t;
    pts.u = us.data();
    pts.v = vs.data();
    pts.du = zero.data();  // a point, as PlaneShadeContext::Set(u, v) gives it
    pts.dv = zero.data();
    for (std::size_t first = 0; first < count; first += kChunk) {
        const std::size_t n = std::min(kChunk, count - first);
        for (std::size_t i = 0; i < n; ++i) {
            us[i] = static_cast<float>(u[first + i]);
            vs[i] = static_cast<float>(v[first + i]);
        }
        pts.count = static_cast<int>(n);
        switch (output) {
            case Output::kColor:
                loom::EvalColorBatch(tex_, pts, colors.data());
                for (std::size_t i = 0; i < n; ++i, out += 4) {
                    out[0] = colors[i].r;
                    out[1] = colors[i].g;
                    out[2] = colors[i].b;
                    out[3] = colors[i].a;
                }
                break;
            case Output::kMono:
                loom::EvalMonoBatch(tex_, pts, out);
                out += n;
                break;
            case Output::kNormal:
                loom::EvalNormalPerturbBatch(tex_, pts, normals.data());
                for (std::size_t i = 0; i < n; ++i, out += 3) {
                    out[0] = normals[i].x;
                    out[1] = normals[i].y;
                    out[2] = normals[i].z;
                }
                break;
        }
    }
}

void Texture::SampleEach(const double* u, const double* v, std::size_t count, TimeValue t,
                         Output output, float* out) const {
    loom::PlaneShadeContext sc;
    sc.curTime = t;
    for (std::size_t i = 0; i < count; ++i) {
        sc.Set(static_cast<float>(u[i]), static_cast<float>(v[i]));
        switch (output) {
            case Output::kColor: {
                const AColor c = tex_->EvalColor(sc);
                out[0] = c.r;
                out[1] = c.g;
                out[2] = c.b;
                out[3] = c.a;
                out += 4;
                break;
            }
            case Output::kMono:
                *out++ = tex_->EvalMono(sc);
                break;
            case Output::kNormal: {
                const Point3 n = tex_->EvalNormalPerturb(sc);
                out[0] = n.x;
                out[1] = n.y;
                out[2] = n.z;
                out += 3;
                break;
            }
        }
    }
}

}  // namespace loomwork
