// loomwork:anaglyph (a composer: input the left view, aux the right) and
// loomwork:anaglyph-sbs (a filter of side-by-side pictures, the left view first): the
// stereo filter's grey method and the colour methods, composed by the core as
// `loomhost anaglyph` composes a still.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>

#include "app/core/filter/filter_run.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/stereo/compose_pair.h"
#include "app/gegl/gegl_ops.h"

namespace loom::gegl_ops {
namespace {

// The enum values are the core's (AnaglyphMethod, Glasses, eye colours 0..2); glasses 0 is
// "none": the eyes come from left-eye and right-eye.
const GEnumValue kMethods[] = {
    {0, "LOOMWORK_ANAGLYPH_GREY", "grey"},
    {1, "LOOMWORK_ANAGLYPH_HALF_COLOUR", "half-colour"},
    {2, "LOOMWORK_ANAGLYPH_COLOUR", "colour"},
    {3, "LOOMWORK_ANAGLYPH_DUBOIS", "dubois"},
    {0, nullptr, nullptr},
};
const GEnumValue kGlasses[] = {
    {0, "LOOMWORK_GLASSES_NONE", "none"},
    {1, "LOOMWORK_GLASSES_RED_CYAN", "red-cyan"},
    {2, "LOOMWORK_GLASSES_GREEN_MAGENTA", "green-magenta"},
    {3, "LOOMWORK_GLASSES_AMBER_BLUE", "amber-blue"},
    {0, nullptr, nullptr},
};
const GEnumValue kEyes[] = {
    {0, "LOOMWORK_EYE_RED", "red"},
    {1, "LOOMWORK_EYE_GREEN", "green"},
    {2, "LOOMWORK_EYE_BLUE", "blue"},
    {0, nullptr, nullptr},
};
GType gMethodType = 0, gGlassesType = 0, gEyeType = 0;

struct Values {
    int method = 0, glasses = 0, leftEye = 0, rightEye = 1;
    double leftCompensation = -0.1, rightCompensation = -0.1;
};

struct State {
    std::mutex mutex;
    Values values;
};

/// Both operations' instances begin with their parent and this pointer.
template <typename Parent>
struct Op {
    Parent parent;
    State* state;
};
using ComposerOp = Op<GeglOperationComposer>;
using SbsOp = Op<GeglOperationFilter>;
static_assert(sizeof(GeglOperationComposer) == sizeof(GeglOperationFilter),
              "both operations keep their state at the same place");

gpointer gComposerParent = nullptr, gSbsParent = nullptr;

State* StateOf(gpointer op) { return reinterpret_cast<ComposerOp*>(op)->state; }

/// One property of both operations: a choice among an enum's values or a number.
struct AnaglyphProperty {
    const char* name;
    const char* nick;
    const char* blurb;
    const GType* choices;  ///< the enum type; null for a number
    int Values::*choice;
    double Values::*number;
    int defaultChoice;
    double defaultNumber;
};

// Property ids are the rows' indexes + 1.
const AnaglyphProperty kProperties[] = {
    {"method", "Method",
     "grey: the stereo filter (one channel per eye, crosstalk compensation); half-colour, "
     "colour, dubois: colour matrices",
     &gMethodType, &Values::method, nullptr, 0, 0.0},
    {"glasses", "Glasses",
     "The glasses the picture is for; none: the eyes below (colour methods then use red-cyan)",
     &gGlassesType, &Values::glasses, nullptr, 0, 0.0},
    {"left-eye", "Left eye", "The grey method's channel for the left eye", &gEyeType,
     &Values::leftEye, nullptr, 0, 0.0},
    {"right-eye", "Right eye", "The grey method's channel for the right eye", &gEyeType,
     &Values::rightEye, nullptr, 1, 0.0},
    {"left-compensation", "Left compensation",
     "Crosstalk compensation of the left eye (grey method)", nullptr, nullptr,
     &Values::leftCompensation, 0, -0.1},
    {"right-compensation", "Right compensation",
     "Crosstalk compensation of the right eye (grey method)", nullptr, nullptr,
     &Values::rightCompensation, 0, -0.1},
};
constexpr double kMinCompensation = -0.5, kMaxCompensation = 0.0;

/// The row of property `id`, or null.
const AnaglyphProperty* PropertyOf(guint id) {
    return id >= 1 && id <= std::size(kProperties) ? &kProperties[id - 1] : nullptr;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) noexcept {
    State* s = StateOf(object);
    if (!s) return;
    const AnaglyphProperty* p = PropertyOf(id);
    if (!p) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    if (p->choices) {
        s->values.*(p->choice) = g_value_get_enum(value);
    } else {
        s->values.*(p->number) = g_value_get_double(value);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) noexcept {
    State* s = StateOf(object);
    if (!s) return;
    const AnaglyphProperty* p = PropertyOf(id);
    if (!p) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    if (p->choices) {
        g_value_set_enum(value, s->values.*(p->choice));
    } else {
        g_value_set_double(value, s->values.*(p->number));
    }
}

/// The core's settings from the properties; throws std::runtime_error for eyes both the
/// same colour.
stereo::AnaglyphSettings SettingsOf(const Values& v) {
    std::optional<stereo::Glasses> glasses;
    if (v.glasses > 0) glasses = static_cast<stereo::Glasses>(v.glasses - 1);
    return stereo::AnaglyphSettingsFor(
        static_cast<stereo::AnaglyphMethod>(v.method), glasses, v.leftEye, v.rightEye,
        static_cast<float>(v.leftCompensation), static_cast<float>(v.rightCompensation));
}

const Babl* Rgba16() { return babl_format("R'G'B'A u16"); }

/// Reads `rect` of `buffer` into a 16-bit image.
bool ReadView(GeglBuffer* buffer, const GeglRectangle& rect, bool alpha, Image16& image) {
    image.width = rect.width;
    image.height = rect.height;
    image.bits = 16;
    image.hasAlpha = alpha;
    image.pixels.resize(static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height));
    static_assert(sizeof(BMM_Color_64) == 8, "a pixel is R'G'B'A u16");
    gegl_buffer_get(buffer, &rect, 1.0, Rgba16(), image.pixels.data(), rect.width * 8,
                    GEGL_ABYSS_NONE);
    return true;
}

bool HasAlpha(GeglOperation* operation, const char* pad) {
    const Babl* format = gegl_operation_get_source_format(operation, pad);
    return format && babl_format_has_alpha(format);
}

/// Composes the pair and writes the result at (x, y); a failure is logged and leaves the
/// output empty.
void ComposeInto(GeglOperation* operation, const char* opName, const Image16& left,
                 const Image16& right, GeglBuffer* output, int x, int y) {
    State* s = StateOf(operation);
    if (!s) return;
    Values values;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        values = s->values;
    }
    const stereo::AnaglyphSettings settings = SettingsOf(values);
    if (!PluginsReady()) {
        g_warning("%s: the stereo filter plug-in is not loaded", opName);
        return;
    }
    Image16 result;
    std::string error;
    FilterOutcome outcome;
    {
        std::lock_guard<std::recursive_mutex> model(ModelLock());
        outcome = stereo::ComposeAnaglyph(ProcessPlugins(), settings, left, right, result, error);
    }
    if (outcome != FilterOutcome::kDone) {
        g_warning("%s: %s", opName, error.empty() ? "the composition failed" : error.c_str());
        return;
    }
    const GeglRectangle at{x, y, result.width, result.height};
    gegl_buffer_set(output, &at, 0, Rgba16(), result.pixels.data(), result.width * 8);
}

void PrepareFormats(GeglOperation* operation, bool aux) {
    gegl_operation_set_format(operation, "input", Rgba16());
    if (aux) gegl_operation_set_format(operation, "aux", Rgba16());
    // Pictures without alpha stay without, as loomhost writes them.
    const bool alpha = HasAlpha(operation, "input") || (aux && HasAlpha(operation, "aux"));
    gegl_operation_set_format(operation, "output", alpha ? Rgba16() : babl_format("R'G'B' u16"));
}

GeglRectangle InputBox(GeglOperation* operation, const char* pad) {
    const GeglRectangle* box = gegl_operation_source_get_bounding_box(operation, pad);
    return box ? *box : GeglRectangle{0, 0, 0, 0};
}

// The composer.

void ComposerPrepare(GeglOperation* operation) noexcept { PrepareFormats(operation, true); }

GeglRectangle ComposerBox(GeglOperation* operation) noexcept {
    return InputBox(operation, "input");
}

/// Both views whole, whatever part is asked for: the filter composes whole pictures.
GeglRectangle ComposerRequired(GeglOperation* operation, const gchar* pad,
                               const GeglRectangle*) noexcept {
    return InputBox(operation, pad);
}

GeglRectangle ComposerCached(GeglOperation* operation, const GeglRectangle*) noexcept {
    return InputBox(operation, "input");
}

gboolean ComposerProcess(GeglOperation* operation, GeglBuffer* input, GeglBuffer* aux,
                         GeglBuffer* output, const GeglRectangle*, gint) noexcept {
    constexpr const char* kName = "loomwork:anaglyph";
    try {
        const GeglRectangle left = InputBox(operation, "input");
        const GeglRectangle right = InputBox(operation, "aux");
        if (!input || !aux) {
            g_warning("%s: give the left view as input and the right view as aux", kName);
            return TRUE;
        }
        if (left.width != right.width || left.height != right.height) {
            g_warning("%s: the views differ in size: left %dx%d, right %dx%d", kName, left.width,
                      left.height, right.width, right.height);
            return TRUE;
        }
        if (left.width <= 0 || left.height <= 0) return TRUE;
        const bool alpha = HasAlpha(operation, "input") || HasAlpha(operation, "aux");
        Image16 l, r;
        ReadView(input, left, alpha, l);
        ReadView(aux, right, alpha, r);
        ComposeInto(operation, kName, l, r, output, left.x, left.y);
    } catch (const std::bad_alloc&) {
        g_warning("%s: not enough memory for the views", kName);
    } catch (const std::exception& e) {
        g_warning("%s: %s", kName, e.what());
    } catch (...) {
        g_warning("%s: the composition failed", kName);
    }
    return TRUE;
}

// The side-by-side filter: the result is half as wide (the middle column of an odd width
// belongs to neither view), as loomhost anaglyph --sbs writes it.

void SbsPrepare(GeglOperation* operation) noexcept { PrepareFormats(operation, false); }

GeglRectangle SbsBox(GeglOperation* operation) noexcept {
    GeglRectangle box = InputBox(operation, "input");
    box.width /= 2;
    return box;
}

GeglRectangle SbsRequired(GeglOperation* operation, const gchar*, const GeglRectangle*) noexcept {
    return InputBox(operation, "input");
}

GeglRectangle SbsCached(GeglOperation* operation, const GeglRectangle*) noexcept {
    return SbsBox(operation);
}

gboolean SbsProcess(GeglOperation* operation, GeglBuffer* input, GeglBuffer* output,
                    const GeglRectangle*, gint) noexcept {
    constexpr const char* kName = "loomwork:anaglyph-sbs";
    try {
        const GeglRectangle box = InputBox(operation, "input");
        if (!input || box.width < 2 || box.height <= 0) {
            g_warning("%s: a side-by-side picture needs at least 2 columns", kName);
            return TRUE;
        }
        Image16 both, l, r;
        ReadView(input, box, HasAlpha(operation, "input"), both);
        std::string error;
        if (!SplitSideBySide(both, l, r, error)) {
            g_warning("%s: %s", kName, error.c_str());
            return TRUE;
        }
        ComposeInto(operation, kName, l, r, output, box.x, box.y);
    } catch (const std::bad_alloc&) {
        g_warning("%s: not enough memory for the views", kName);
    } catch (const std::exception& e) {
        g_warning("%s: %s", kName, e.what());
    } catch (...) {
        g_warning("%s: the composition failed", kName);
    }
    return TRUE;
}

void InstallProperties(GObjectClass* object) {
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT);
    guint id = 1;
    for (const AnaglyphProperty& p : kProperties) {
        GParamSpec* pspec =
            p.choices
                ? g_param_spec_enum(p.name, p.nick, p.blurb, *p.choices, p.defaultChoice, flags)
                : gegl_param_spec_double(p.name, p.nick, p.blurb, kMinCompensation,
                                         kMaxCompensation, p.defaultNumber, kMinCompensation,
                                         kMaxCompensation, 1.0, flags);
        g_object_class_install_property(object, id++, pspec);
    }
}

void InstanceInit(GTypeInstance* instance, gpointer) noexcept {
    reinterpret_cast<ComposerOp*>(instance)->state = new (std::nothrow) State;
}

void ComposerFinalize(GObject* object) noexcept {
    delete StateOf(object);
    G_OBJECT_CLASS(gComposerParent)->finalize(object);
}

void SbsFinalize(GObject* object) noexcept {
    delete StateOf(object);
    G_OBJECT_CLASS(gSbsParent)->finalize(object);
}

void ComposerClassInit(gpointer klass, gpointer) noexcept {
    gComposerParent = g_type_class_peek_parent(klass);
    GObjectClass* object = G_OBJECT_CLASS(klass);
    InstallProperties(object);
    object->finalize = ComposerFinalize;
    GeglOperationClass* operation = GEGL_OPERATION_CLASS(klass);
    operation->prepare = ComposerPrepare;
    operation->get_bounding_box = ComposerBox;
    operation->get_required_for_output = ComposerRequired;
    operation->get_cached_region = ComposerCached;
    operation->threaded = FALSE;
    GEGL_OPERATION_COMPOSER_CLASS(klass)->process = ComposerProcess;
    gegl_operation_class_set_keys(
        operation, "name", "loomwork:anaglyph", "title", "Loomwork anaglyph", "categories",
        "stereo:loomwork", "description",
        "An anaglyph from a stereo pair (input: the left view, aux: the right view), composed "
        "as loomhost anaglyph composes it",
        nullptr);
}

void SbsClassInit(gpointer klass, gpointer) noexcept {
    gSbsParent = g_type_class_peek_parent(klass);
    GObjectClass* object = G_OBJECT_CLASS(klass);
    InstallProperties(object);
    object->finalize = SbsFinalize;
    GeglOperationClass* operation = GEGL_OPERATION_CLASS(klass);
    operation->prepare = SbsPrepare;
    operation->get_bounding_box = SbsBox;
    operation->get_required_for_output = SbsRequired;
    operation->get_cached_region = SbsCached;
    operation->threaded = FALSE;
    GEGL_OPERATION_FILTER_CLASS(klass)->process = SbsProcess;
    gegl_operation_class_set_keys(
        operation, "name", "loomwork:anaglyph-sbs", "title", "Loomwork side-by-side anaglyph",
        "categories", "stereo:loomwork", "description",
        "An anaglyph from a side-by-side picture (the left view first), half as wide, as "
        "loomhost anaglyph --sbs composes it",
        nullptr);
}

}  // namespace

void RegisterAnaglyphOps(GTypeModule* module) {
    gMethodType = g_type_module_register_enum(module, "LoomworkAnaglyphMethod", kMethods);
    gGlassesType = g_type_module_register_enum(module, "LoomworkAnaglyphGlasses", kGlasses);
    gEyeType = g_type_module_register_enum(module, "LoomworkEyeColour", kEyes);
    GTypeInfo composer{};
    composer.class_size = sizeof(GeglOperationComposerClass);
    composer.class_init = ComposerClassInit;
    composer.instance_size = sizeof(ComposerOp);
    composer.instance_init = InstanceInit;
    g_type_module_register_type(module, GEGL_TYPE_OPERATION_COMPOSER, "LoomworkAnaglyph", &composer,
                                static_cast<GTypeFlags>(0));
    GTypeInfo sbs{};
    sbs.class_size = sizeof(GeglOperationFilterClass);
    sbs.class_init = SbsClassInit;
    sbs.instance_size = sizeof(SbsOp);
    sbs.instance_init = InstanceInit;
    g_type_module_register_type(module, GEGL_TYPE_OPERATION_FILTER, "LoomworkAnaglyphSbs", &sbs,
                                static_cast<GTypeFlags>(0));
}

}  // namespace loom::gegl_ops
