// The texture sources: one GEGL type per texture class, its properties made from the
// texture's own parameter list when the class is first used.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/core/jobs/texture_render.h"
#include "app/core/jobs/tile_jobs.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/model/param_info.h"
#include "app/core/model/rand_stream.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/quantize.h"
#include "app/gegl/gegl_ops.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom::gegl_ops {
namespace {

enum : guint {
    kPropWidth = 1,
    kPropHeight,
    kPropTime,
    kPropSeed,
    kPropTile,
    kPropTilesAcross,
    kPropTilesDown,
    kFirstParamProp = 16
};

constexpr int kDefaultSide = 256;
constexpr int kMaxSide = 32768;

struct TextureOpKind {
    std::string className;  ///< the class the core creates: its plug-in's name, "nimbra"
    std::string typeName;   ///< the GType's name, "LoomworkNimbra"
    std::string opName;     ///< GEGL's operation name, "loomwork:nimbra"
    std::string title;      ///< the class's own name
    /// Why the class cannot render (its plug-in was not loaded); empty when it can.
    std::string missing;
};

std::string TypeName(const std::string& className) {
    std::string type = "Loomwork" + className;
    type[8] = static_cast<char>(std::toupper(static_cast<unsigned char>(type[8])));
    return type;
}

/// Why `className` is not among the loaded plug-ins, and how to put it there.
std::string MissingReason(const std::string& className) {
    std::string error;
    if (!PluginsNearCore("loomwork (GEGL)", error)) {
        return "the loomwork plug-ins could not be loaded (" + error +
               "); install them or name their folder in LOOMHOST_PLUGINS, then restart";
    }
    std::string folders;
    for (const std::string& f : ProcessPluginFolders())
        folders += (folders.empty() ? "" : ", ") + f;
    return "the plug-in " + className + ".so is not among the plug-ins loaded from " +
           (folders.empty() ? "no folder" : folders) +
           "; install it there or name its folder in LOOMHOST_PLUGINS, then restart";
}

/// One kind a texture class of the loaded plug-ins, and one for each texture this build
/// ships whose plug-in was not loaded: such an operation stays in GIMP's list and says why it
/// cannot render, rather than vanishing. Found once a process (the types are registered with
/// pointers to them).
const std::deque<TextureOpKind>& Kinds() {
    static const std::deque<TextureOpKind> kinds = [] {
        std::deque<TextureOpKind> found;
        if (PluginsReady()) {
            std::lock_guard<std::recursive_mutex> model(ModelLock());
            for (const LoadedPlugin& plugin : ProcessPlugins().Plugins()) {
                const std::string name = std::filesystem::path(plugin.path).stem().string();
                for (ClassDesc* cd : plugin.classes) {
                    if (cd->SuperClassID() != TEXMAP_CLASS_ID || name.empty()) continue;
                    found.push_back({name,
                                     TypeName(name),
                                     "loomwork:" + name,
                                     Utf8FromCp1252(cd->ClassName()),
                                     {}});
                }
            }
        }
        std::istringstream shipped(LOOM_SHIPPED_TEXTURES);
        for (std::string name; shipped >> name;) {
            const bool loaded =
                std::any_of(found.begin(), found.end(),
                            [&](const TextureOpKind& k) { return k.className == name; });
            if (loaded) continue;
            std::string title = name;
            title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
            found.push_back({name, TypeName(name), "loomwork:" + name,
                             title + " (plug-in not found)", MissingReason(name)});
        }
        return found;
    }();
    return kinds;
}

/// What a class knows once its properties are made.
struct ClassInfo {
    const TextureOpKind* kind = nullptr;
    std::vector<ParamInfo> params;  ///< empty when the plug-ins could not be loaded
};

/// One operation's settings and its last picture.
struct OpState {
    std::mutex mutex;
    TextureSettings settings;
    bool rendered = false;
    std::vector<std::uint16_t> pixels;  ///< R'G'B'A u16 of the last render
};

struct TextureOp {
    GeglOperationSource parent;
    OpState* state;
};

struct TextureOpClass {
    GeglOperationSourceClass parent;
    ClassInfo* info;
};

gpointer gParentClass = nullptr;

ClassInfo& InfoOf(gpointer op) {
    return *reinterpret_cast<TextureOpClass*>(G_OBJECT_GET_CLASS(op))->info;
}

/// Null only when the state could not be allocated; every entry then does nothing.
OpState* StateOf(gpointer op) { return reinterpret_cast<TextureOp*>(op)->state; }

GeglColor* NewColor(const ParamValue& v) {
    GeglColor* c = gegl_color_new(nullptr);
    const float rgba[4] = {v.v[0], v.v[1], v.v[2], 1.0f};
    gegl_color_set_pixel(c, babl_format("R'G'B'A float"), rgba);
    return c;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) noexcept {
    if (!StateOf(object)) return;
    OpState& s = *StateOf(object);
    const ClassInfo& info = InfoOf(object);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rendered = false;
    if (id == kPropWidth) {
        s.settings.width = g_value_get_int(value);
    } else if (id == kPropHeight) {
        s.settings.height = g_value_get_int(value);
    } else if (id == kPropTime) {
        s.settings.frame = g_value_get_double(value);
    } else if (id == kPropSeed) {
        s.settings.seed = g_value_get_int(value);
    } else if (id == kPropTile) {
        s.settings.tile = g_value_get_boolean(value) != FALSE;
    } else if (id == kPropTilesAcross) {
        s.settings.tiles.columns = g_value_get_int(value);
    } else if (id == kPropTilesDown) {
        s.settings.tiles.rows = g_value_get_int(value);
    } else if (id >= kFirstParamProp && id - kFirstParamProp < info.params.size()) {
        const ParamInfo& p = info.params[id - kFirstParamProp];
        ParamValue& v = s.settings.values[id - kFirstParamProp];
        switch (KindOf(p)) {
            case ParamKind::kNumber:
                v.v[0] = static_cast<float>(g_value_get_double(value));
                break;
            case ParamKind::kInteger:
                v = ParamValue::Int(g_value_get_int(value));
                break;
            case ParamKind::kFlag:
                v = ParamValue::Int(g_value_get_boolean(value) ? 1 : 0);
                break;
            case ParamKind::kColour: {
                float rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
                if (auto* c = GEGL_COLOR(g_value_get_object(value))) {
                    gegl_color_get_pixel(c, babl_format("R'G'B'A float"), rgba);
                }
                v.v[0] = rgba[0];
                v.v[1] = rgba[1];
                v.v[2] = rgba[2];
                break;
            }
        }
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) noexcept {
    if (!StateOf(object)) return;
    OpState& s = *StateOf(object);
    const ClassInfo& info = InfoOf(object);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (id == kPropWidth) {
        g_value_set_int(value, s.settings.width);
    } else if (id == kPropHeight) {
        g_value_set_int(value, s.settings.height);
    } else if (id == kPropTime) {
        g_value_set_double(value, s.settings.frame);
    } else if (id == kPropSeed) {
        g_value_set_int(value, static_cast<gint>(s.settings.seed));
    } else if (id == kPropTile) {
        g_value_set_boolean(value, s.settings.tile);
    } else if (id == kPropTilesAcross) {
        g_value_set_int(value, s.settings.tiles.columns);
    } else if (id == kPropTilesDown) {
        g_value_set_int(value, s.settings.tiles.rows);
    } else if (id >= kFirstParamProp && id - kFirstParamProp < info.params.size()) {
        const ParamInfo& p = info.params[id - kFirstParamProp];
        const ParamValue& v = s.settings.values[id - kFirstParamProp];
        switch (KindOf(p)) {
            case ParamKind::kNumber:
                g_value_set_double(value, static_cast<double>(v.v[0]));
                break;
            case ParamKind::kInteger:
                g_value_set_int(value, v.AsInt());
                break;
            case ParamKind::kFlag:
                g_value_set_boolean(value, v.AsInt() != 0);
                break;
            case ParamKind::kColour:
                g_value_take_object(value, NewColor(v));
                break;
        }
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void Finalize(GObject* object) noexcept {
    delete reinterpret_cast<TextureOp*>(object)->state;
    G_OBJECT_CLASS(gParentClass)->finalize(object);
}

void Prepare(GeglOperation* operation) noexcept {
    gegl_operation_set_format(operation, "output", babl_format("R'G'B'A u16"));
}

GeglRectangle BoundingBox(GeglOperation* operation) noexcept {
    if (!StateOf(operation)) return GeglRectangle{0, 0, 0, 0};
    OpState& s = *StateOf(operation);
    std::lock_guard<std::mutex> lock(s.mutex);
    return GeglRectangle{0, 0, s.settings.width, s.settings.height};
}

/// The whole picture in one go: rows are rendered in bands whose generators are seeded
/// from the band's index, so a part rendered alone would not give the same pixels.
GeglRectangle CachedRegion(GeglOperation* operation, const GeglRectangle*) noexcept {
    return BoundingBox(operation);
}

gboolean Process(GeglOperation* operation, GeglBuffer* output, const GeglRectangle* roi,
                 gint) noexcept {
    const ClassInfo& info = InfoOf(operation);
    if (!StateOf(operation)) return TRUE;
    OpState& s = *StateOf(operation);
    try {
        std::lock_guard<std::mutex> lock(s.mutex);
        const int w = s.settings.width, h = s.settings.height;
        if (!s.rendered) {
            if (!info.kind->missing.empty() || info.params.empty()) {
                g_warning("%s renders nothing: %s", info.kind->opName.c_str(),
                          info.kind->missing.empty()
                              ? "its parameters could not be read from the plug-in"
                              : info.kind->missing.c_str());
                return TRUE;
            }
            s.settings.threads =
                static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
            FloatImage img;
            {
                std::lock_guard<std::recursive_mutex> model(ModelLock());
                img = RenderTextureSettings(ProcessPlugins(), info.params, s.settings);
            }
            s.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
            QuantizePixels16(img.rgba.data(), static_cast<size_t>(w) * static_cast<size_t>(h),
                             s.pixels.data());
            s.rendered = true;
        }
        GeglRectangle whole{0, 0, w, h};
        GeglRectangle part;
        if (!gegl_rectangle_intersect(&part, &whole, roi)) return TRUE;
        const size_t first =
            (static_cast<size_t>(part.y) * static_cast<size_t>(w) + static_cast<size_t>(part.x)) *
            4;
        gegl_buffer_set(output, &part, 0, babl_format("R'G'B'A u16"), s.pixels.data() + first,
                        w * 8);
    } catch (const std::exception& e) {
        s.rendered = false;
        g_warning("%s: %s", info.kind->opName.c_str(), e.what());
    } catch (...) {
        s.rendered = false;
        g_warning("%s: the render failed", info.kind->opName.c_str());
    }
    return TRUE;
}

/// The property of one parameter; null for a kind GEGL cannot show.
GParamSpec* ParamSpec(const std::string& name, const ParamInfo& p) {
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT);
    const char* nick = p.name.c_str();
    const char* blurb = KindOf(p) == ParamKind::kColour ? "A colour (R'G'B')"
                        : KindOf(p) == ParamKind::kFlag ? "On or off, as its button on the panel"
                        : (p.control != ParamControl::kNone)
                            ? "Within the range the texture's panel offers"
                            : "No control of the panel shows this value";
    switch (KindOf(p)) {
        case ParamKind::kNumber: {
            const double def = static_cast<double>(p.defaultValue.v[0]);
            const double lo = std::min(RangeMin(p), def), hi = std::max(RangeMax(p), def);
            return gegl_param_spec_double(name.c_str(), nick, blurb, lo, hi, def, lo, hi, 1.0,
                                          flags);
        }
        case ParamKind::kInteger: {
            const int def = p.defaultValue.AsInt();
            const int lo = std::min(static_cast<int>(RangeMin(p)), def);
            const int hi = std::max(static_cast<int>(RangeMax(p)), def);
            return gegl_param_spec_int(name.c_str(), nick, blurb, lo, hi, def, lo, hi, 1.0, flags);
        }
        case ParamKind::kFlag:
            return g_param_spec_boolean(name.c_str(), nick, blurb, p.defaultValue.AsInt() != 0,
                                        flags);
        case ParamKind::kColour: {
            GeglColor* def = NewColor(p.defaultValue);
            GParamSpec* pspec = gegl_param_spec_color(name.c_str(), nick, blurb, def, flags);
            g_object_unref(def);
            return pspec;
        }
    }
    return nullptr;
}

void ClassInit(gpointer klass, gpointer data) noexcept {
    auto* kind = static_cast<const TextureOpKind*>(data);
    gParentClass = g_type_class_peek_parent(klass);
    auto* info = new ClassInfo{kind, {}};  // lives as long as the class, the process
    reinterpret_cast<TextureOpClass*>(klass)->info = info;
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    object->finalize = Finalize;
    GeglOperationClass* operation = GEGL_OPERATION_CLASS(klass);
    operation->prepare = Prepare;
    operation->get_bounding_box = BoundingBox;
    operation->get_cached_region = CachedRegion;
    operation->threaded = FALSE;
    GEGL_OPERATION_SOURCE_CLASS(klass)->process = Process;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT);
    g_object_class_install_property(
        object, kPropWidth,
        gegl_param_spec_int("width", "Width", "Width of the picture in pixels", 1, kMaxSide,
                            kDefaultSide, 1, 4096, 1.0, flags));
    g_object_class_install_property(
        object, kPropHeight,
        gegl_param_spec_int("height", "Height", "Height of the picture in pixels", 1, kMaxSide,
                            kDefaultSide, 1, 4096, 1.0, flags));
    g_object_class_install_property(
        object, kPropTime,
        gegl_param_spec_double("time", "Time", "The time shown, in frames (30 a second)",
                               -static_cast<double>(kMaxFrame), static_cast<double>(kMaxFrame), 0.0,
                               0.0, 300.0, 1.0, flags));
    g_object_class_install_property(
        object, kPropSeed,
        gegl_param_spec_int("seed", "Seed",
                            "Another pattern of the same kind, as loomhost render --seed; 0 keeps "
                            "the texture's built-in one",
                            0, static_cast<int>(kMaxTexSeed), 0, 0, 1000, 1.0, flags));
    g_object_class_install_property(
        object, kPropTile,
        g_param_spec_boolean("tile", "Seamless tile",
                             "A pattern that repeats without a seam, as loomhost render --tile",
                             FALSE, flags));
    g_object_class_install_property(
        object, kPropTilesAcross,
        gegl_param_spec_int("tiles-across", "Tiles across",
                            "Copies of a seamless tile across the picture, as loomhost render "
                            "--tiles; the width must be a whole number of pixels a tile",
                            1, kMaxTileRepeat, 1, 1, 8, 1.0, flags));
    g_object_class_install_property(
        object, kPropTilesDown,
        gegl_param_spec_int("tiles-down", "Tiles down",
                            "Copies of a seamless tile down the picture, as loomhost render "
                            "--tiles; the height must be a whole number of pixels a tile",
                            1, kMaxTileRepeat, 1, 1, 8, 1.0, flags));
    try {
        if (kind->missing.empty() && PluginsReady()) {
            std::lock_guard<std::recursive_mutex> model(ModelLock());
            RandStream scratch;  // the panel's buttons draw from the generator
            RandStream::Use use(scratch);
            info->params = DescribeTextureClass(ProcessPlugins(), kind->className).params;
        }
    } catch (const std::exception& e) {
        g_warning("%s: %s", kind->opName.c_str(), e.what());
        info->params.clear();
    }
    std::vector<std::string> taken = {"width", "height",       "time",      "seed",
                                      "tile",  "tiles-across", "tiles-down"};
    for (size_t i = 0; i < info->params.size(); ++i) {
        std::string name = PropertyName(info->params[i].name);
        while (std::find(taken.begin(), taken.end(), name) != taken.end()) name += "-2";
        taken.push_back(name);
        if (GParamSpec* pspec = ParamSpec(name, info->params[i])) {
            g_object_class_install_property(object, kFirstParamProp + static_cast<guint>(i), pspec);
        }
    }
    const std::string description =
        kind->missing.empty() ? kind->title +
                                    ", rendered as loomhost renders it; every parameter of the "
                                    "texture's panel is a property"
                              : "Renders nothing: " + kind->missing;
    gegl_operation_class_set_keys(operation, "name", kind->opName.c_str(), "title",
                                  kind->title.c_str(), "categories", "render:loomwork",
                                  "description", description.c_str(), nullptr);
}

void InstanceInit(GTypeInstance* instance, gpointer klass) noexcept {
    auto* op = reinterpret_cast<TextureOp*>(instance);
    const ClassInfo& info = *reinterpret_cast<TextureOpClass*>(klass)->info;
    op->state = new (std::nothrow) OpState;
    if (!op->state) return;
    op->state->settings = DefaultTextureSettings(info.kind->className, info.params);
    op->state->settings.width = op->state->settings.height = kDefaultSide;
}

}  // namespace

void RegisterTextureOps(GTypeModule* module) {
    for (const TextureOpKind& kind : Kinds()) {
        GTypeInfo info{};
        info.class_size = sizeof(TextureOpClass);
        info.class_init = ClassInit;
        info.class_data = &kind;  // lives as long as the process
        info.instance_size = sizeof(TextureOp);
        info.instance_init = InstanceInit;
        g_type_module_register_type(module, GEGL_TYPE_OPERATION_SOURCE, kind.typeName.c_str(),
                                    &info, static_cast<GTypeFlags>(0));
    }
}

}  // namespace loom::gegl_ops
