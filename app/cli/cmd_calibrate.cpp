// loomhost calibrate: opens the stereo filter's setup dialog ("Ducktest"), chooses the eye
// colours and compensations in it as a person would, and writes the calibration picture it
// shows to an image file. The filter's configuration is left as it was (the dialog is
// cancelled).
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/cli/commands.h"
#include "app/core/filter/stereo_settings.h"
#include "dioptrix/resource.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_gdi.h"

namespace loom {
namespace {

struct CalibrateOptions {
    std::string leftEye, rightEye;  // empty: as the dialog leaves it (red, green at first)
    double leftComp = -0.1;
    double rightComp = -0.1;
    std::string output;
    bool force = false;
};

std::string CompText(double c, const char* what) {
    if (!std::isfinite(c) || c < -0.5 || c > 0.0) {
        throw std::runtime_error(std::string(what) + " must be between -0.5 and 0");
    }
    std::ostringstream s;
    s.precision(9);
    s << c;
    return s.str();
}

void RunCalibrate(AppContext& ctx, const CalibrateOptions& opt) {
    const int left = opt.leftEye.empty() ? -1 : ParseEyeColor(opt.leftEye, "--left-eye");
    const int right = opt.rightEye.empty() ? -1 : ParseEyeColor(opt.rightEye, "--right-eye");
    // The dialog applies the same rule when the buttons are clicked; this refuses what it
    // cannot show (both eyes one colour) before it opens.
    StereoSettings chosen;
    ChooseEyeColors(chosen, left, right);
    const std::string leftComp = CompText(opt.leftComp, "--left-comp");
    const std::string rightComp = CompText(opt.rightComp, "--right-comp");
    const SaveOptions save{opt.force, nullptr};
    std::string err;
    if (!CheckImageOutput(opt.output, save, err)) throw std::runtime_error(err);

    ctx.LoadPlugins();
    ClassDesc* cd = ctx.loader.FindClassByName("dioptrix");
    if (!cd || cd->SuperClassID() != IMAGE_FILTER_CLASS_ID) {
        throw std::runtime_error("the stereo filter plug-in (dioptrix) was not found");
    }
    std::unique_ptr<ImageFilter> filter(CreateImageFilter(cd, err));
    if (!filter) throw std::runtime_error(err);

    BitmapPixels shown;
    int shownLeft = -1, shownRight = -1;
    std::string failure;
    auto fail = [&failure](const std::string& what) {
        if (failure.empty()) failure = what;
    };
    interact::ModalScript script({
        [&](HWND d) {
            // Only the colours asked for are clicked, the left eye first; an eye that held
            // the colour clicked for the other gives it up and takes the other's old one.
            if (left >= 0 && !interact::Click(d, IDC_LEFT_RED + left)) {
                fail("the left eye's button");
            }
            if (right >= 0 && !interact::Click(d, IDC_RIGHT_RED + right)) {
                fail("the right eye's button");
            }
            for (int i = 0; i < 3; ++i) {
                if (IsDlgButtonChecked(d, IDC_LEFT_RED + i) == BST_CHECKED) shownLeft = i;
                if (IsDlgButtonChecked(d, IDC_RIGHT_RED + i) == BST_CHECKED) shownRight = i;
            }
            if (!interact::TypeValue(d, IDC_LEFT_EDIT, leftComp)) fail("the left compensation");
            if (!interact::TypeValue(d, IDC_RIGHT_EDIT, rightComp)) {
                fail("the right compensation");
            }
            auto bmp = reinterpret_cast<HBITMAP>(
                SendDlgItemMessageA(d, IDC_PREVIEW, STM_GETIMAGE, IMAGE_BITMAP, 0));
            if (!ReadBitmap(bmp, &shown)) fail("the calibration picture");
        },
        [&](HWND d) {
            if (!interact::Click(d, IDCANCEL)) fail("Cancel");
        },
    });
    filter->ShowControl(nullptr);
    if (!script.Finished() || script.Dialogs().empty()) {
        throw std::runtime_error("the setup dialog could not be shown");
    }
    if (script.Overran()) fail("closing the setup dialog");
    if (!failure.empty()) throw std::runtime_error("setup dialog: could not reach " + failure);

    FloatImage img;
    img.width = shown.width;
    img.height = shown.height;
    img.rgba.resize(shown.rgba.size());
    for (size_t i = 0; i < shown.rgba.size(); ++i) {
        img.rgba[i] = static_cast<float>(shown.rgba[i]) / 255.0f;
    }
    if (!WriteImage(opt.output, img, 8, err, save)) throw std::runtime_error(err);
    std::printf("%s: %dx%d, left eye %s %s, right eye %s %s\n", opt.output.c_str(), img.width,
                img.height, EyeColorName(shownLeft).c_str(), leftComp.c_str(),
                EyeColorName(shownRight).c_str(), rightComp.c_str());
}

}  // namespace

void AddCalibrateCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<CalibrateOptions>();
    CLI::App* cmd = app.add_subcommand(
        "calibrate", "Write the stereo filter's calibration picture (its setup dialog's preview)");
    cmd->add_option("--left-eye", opt->leftEye,
                    "Colour of the left glass: red, green or blue (default red, or what the "
                    "right eye gives up)");
    cmd->add_option("--right-eye", opt->rightEye,
                    "Colour of the right glass (default green, or what the left eye gives up)");
    cmd->add_option("--left-comp", opt->leftComp, "Left glass compensation, -0.5..0")
        ->capture_default_str();
    cmd->add_option("--right-comp", opt->rightComp, "Right glass compensation, -0.5..0")
        ->capture_default_str();
    cmd->add_option("-o,--out", opt->output, "Output image (.png, .tif, .exr, .jpg)")->required();
    cmd->add_flag("--force", opt->force, "Replace an output file that is read-only");
    cmd->callback([&ctx, opt] { RunCalibrate(ctx, *opt); });
}

}  // namespace loom
