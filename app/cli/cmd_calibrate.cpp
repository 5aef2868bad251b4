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
#include <vector>

#include "app/cli/commands.h"
#include "app/core/filter/stereo_settings.h"
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
    int size = 0;  // 0: the dialog's own size
    bool force = false;
};

/// Sides `calibrate --size` takes, in pixels.
constexpr int kMinCalibrationSide = 16;
constexpr int kMaxCalibrationSide = 4096;

/// The setup dialog's controls a person uses, found as a person finds them: the colour
/// buttons by their words, the left eye's before the right eye's as the dialog shows them;
/// the compensation fields (the dialog's edit fields, left first); the picture (the one
/// picture control that shows a bitmap).
struct CalibrationControls {
    int left[3] = {0, 0, 0};  ///< red, green, blue of the left eye
    int right[3] = {0, 0, 0};
    int leftEdit = 0, rightEdit = 0;
    HWND preview = nullptr;
};

/// The controls of `d`; false with `missing` naming one that is not there.
bool FindCalibrationControls(HWND d, CalibrationControls& c, std::string& missing) {
    const char* colours[3] = {"Red", "Green", "Blue"};
    for (int i = 0; i < 3; ++i) {
        const std::vector<HWND> buttons = interact::FindControlsByText(d, colours[i]);
        if (buttons.size() != 2) {
            missing = std::string("the eyes' ") + colours[i] + " buttons";
            return false;
        }
        c.left[i] = GetDlgCtrlID(buttons[0]);
        c.right[i] = GetDlgCtrlID(buttons[1]);
    }
    const std::vector<HWND> edits = interact::FindControlsByClass(d, "CustEdit");
    if (edits.size() != 2) {
        missing = "the compensation fields";
        return false;
    }
    c.leftEdit = GetDlgCtrlID(edits[0]);
    c.rightEdit = GetDlgCtrlID(edits[1]);
    for (HWND s : interact::FindControlsByClass(d, "Static")) {
        if (SendMessageA(s, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0) c.preview = s;
    }
    if (!c.preview) {
        missing = "the calibration picture";
        return false;
    }
    return true;
}

/// The picture `shown` at `side` pixels a side. Each output pixel repeats the nearest
/// source pixel, so that every colour stays one the dialog shows: a blend of the two ducks'
/// colours would be seen through neither glass as it is on screen.
FloatImage ScaledCalibration(const BitmapPixels& shown, int side) {
    FloatImage img;
    img.width = side;
    img.height = side;
    img.rgba.resize(static_cast<size_t>(side) * static_cast<size_t>(side) * 4);
    for (int y = 0; y < side; ++y) {
        const int sy = static_cast<int>(static_cast<long long>(y) * shown.height / side);
        for (int x = 0; x < side; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x) * shown.width / side);
            const size_t from = (static_cast<size_t>(sy) * shown.width + sx) * 4;
            const size_t to = (static_cast<size_t>(y) * side + x) * 4;
            for (int c = 0; c < 4; ++c) {
                img.rgba[to + c] = static_cast<float>(shown.rgba[from + c]) / 255.0f;
            }
        }
    }
    return img;
}

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
    if (opt.size != 0 && (opt.size < kMinCalibrationSide || opt.size > kMaxCalibrationSide)) {
        throw std::runtime_error("--size must be between " + std::to_string(kMinCalibrationSide) +
                                 " and " + std::to_string(kMaxCalibrationSide) + " pixels");
    }
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
            CalibrationControls c;
            std::string missing;
            if (!FindCalibrationControls(d, c, missing)) {
                fail(missing);
                return;
            }
            // Only the colours asked for are clicked, the left eye first; an eye that held
            // the colour clicked for the other gives it up and takes the other's old one.
            if (left >= 0 && !interact::Click(d, c.left[left])) fail("the left eye's button");
            if (right >= 0 && !interact::Click(d, c.right[right])) {
                fail("the right eye's button");
            }
            for (int i = 0; i < 3; ++i) {
                if (IsDlgButtonChecked(d, c.left[i]) == BST_CHECKED) shownLeft = i;
                if (IsDlgButtonChecked(d, c.right[i]) == BST_CHECKED) shownRight = i;
            }
            if (!interact::TypeValue(d, c.leftEdit, leftComp)) fail("the left compensation");
            if (!interact::TypeValue(d, c.rightEdit, rightComp)) fail("the right compensation");
            auto bmp =
                reinterpret_cast<HBITMAP>(SendMessageA(c.preview, STM_GETIMAGE, IMAGE_BITMAP, 0));
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

    if (shown.width <= 0 || shown.height <= 0) fail("the calibration picture");
    if (!failure.empty()) throw std::runtime_error("setup dialog: could not reach " + failure);
    FloatImage img;
    if (opt.size != 0) {
        img = ScaledCalibration(shown, opt.size);
    } else {
        img.width = shown.width;
        img.height = shown.height;
        img.rgba.resize(shown.rgba.size());
        for (size_t i = 0; i < shown.rgba.size(); ++i) {
            img.rgba[i] = static_cast<float>(shown.rgba[i]) / 255.0f;
        }
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
    cmd->add_option("--size", opt->size,
                    "Side of the picture in pixels, " + std::to_string(kMinCalibrationSide) + ".." +
                        std::to_string(kMaxCalibrationSide) +
                        ", each of the dialog's pixels repeated (default: the dialog's size)");
    cmd->add_flag("--force", opt->force, "Replace an output file that is read-only");
    cmd->callback([&ctx, opt] { RunCalibrate(ctx, *opt); });
}

}  // namespace loom
