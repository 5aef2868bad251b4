#include "python/src/anaglyph.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>

#include "app/core/filter/filter_run.h"
#include "app/core/filter/stereo_settings.h"
#include "foundation/host/sdk/filters.h"
#include "python/src/errors.h"
#include "python/src/model_hold.h"
#include "python/src/plugins.h"
#include "python/src/texture.h"

namespace loomwork {

loom::Image16 Anaglyph(const loom::Image16& left, const loom::Image16& right,
                       const AnaglyphSettings& settings) {
    if (left.width != right.width || left.height != right.height) {
        throw std::runtime_error("the views differ in size: left is " + std::to_string(left.width) +
                                 "x" + std::to_string(left.height) + ", right is " +
                                 std::to_string(right.width) + "x" + std::to_string(right.height));
    }
    // Checked here so that a refusal names the keyword arguments.
    loom::ParseEyeColor(settings.leftEye, "left_eye");
    loom::ParseEyeColor(settings.rightEye, "right_eye");
    for (const auto& [value, name] : {std::pair{settings.leftCompensation, "left_comp"},
                                      std::pair{settings.rightCompensation, "right_comp"}}) {
        if (!(value >= -0.5 && value <= 0.0)) {
            char shown[32];
            std::snprintf(shown, sizeof shown, "%g", value);
            throw std::runtime_error(std::string(name) + " " + shown + " is outside -0.5..0");
        }
    }
    loom::StereoOptions options;
    options.leftEye = settings.leftEye;
    options.rightEye = settings.rightEye;
    options.leftComp = settings.leftCompensation;
    options.rightComp = settings.rightCompensation;

    const loom::PluginLoader& plugins = Plugins();
    ModelHold hold;
    // The generator as a fresh `loomhost anaglyph` process has it.
    RandStream fresh;
    RandStream::Use use(fresh);
    ClassDesc* cd = plugins.FindClassByName("dioptrix");
    if (!cd || cd->SuperClassID() != IMAGE_FILTER_CLASS_ID) {
        throw NameError("the stereo filter plug-in (dioptrix) was not found");
    }
    std::string err;
    std::unique_ptr<ImageFilter> filter(loom::CreateImageFilter(cd, err));
    if (!filter) throw std::runtime_error(err);
    // The filter's own defaults, with the settings applied, as the command line does.
    std::vector<std::uint8_t> record;
    if (!loom::SaveFilterConfiguration(*filter, record, err)) throw std::runtime_error(err);
    record = options.Apply(record);
    if (!loom::LoadFilterConfiguration(*filter, record, err)) {
        throw std::runtime_error("stereo configuration: " + err);
    }
    loom::FilterProgressWindow window("anaglyph", nullptr, false);
    loom::Image16 result;
    if (loom::RunCompositor(*filter, left, right, window, nullptr, result, err) !=
        loom::FilterOutcome::kDone) {
        throw std::runtime_error(err.empty() ? "the stereo filter failed" : err);
    }
    return result;
}

}  // namespace loomwork
