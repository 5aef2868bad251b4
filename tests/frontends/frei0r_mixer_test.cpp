// The frei0r mixer and side-by-side filter called as a host calls them, against the core's
// composition of the same two pictures at 16 bits narrowed to 8, as loomhost anaglyph
// --bits 8 writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/core/loader/process_plugins.h"
#include "app/core/render/quantize.h"
#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/stereo_layout.h"
#include "app/frei0r/anaglyph_effect.h"

namespace loom::frei0r {
namespace {

using Frame = std::vector<std::uint32_t>;

Frame RandomFrame(unsigned seed, size_t count) {
    std::mt19937 random(seed);
    Frame frame(count);
    for (std::uint32_t& px : frame) px = random();  // alpha too: the mixer ignores it
    return frame;
}

Image16 Wide(const Frame& frame, int width, int height) {
    Image16 image;
    image.width = width;
    image.height = height;
    for (std::uint32_t px : frame) {
        image.pixels.push_back({static_cast<WORD>((px & 0xFF) * 257),
                                static_cast<WORD>((px >> 8 & 0xFF) * 257),
                                static_cast<WORD>((px >> 16 & 0xFF) * 257), 65535});
    }
    return image;
}

/// The effect's 8-bit frame of the core's 16-bit picture `composed` (a narrower picture's last
/// column repeated, as the side-by-side filter widens an odd frame's views).
Frame Narrowed(const Image16& composed, int width) {
    Frame out;
    for (int y = 0; y < composed.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const BMM_Color_64& p = composed.pixels[static_cast<size_t>(
                y * composed.width + std::min(x, composed.width - 1))];
            out.push_back(NarrowChannel(p.r) | NarrowChannel(p.g) << 8 | NarrowChannel(p.b) << 16 |
                          0xFF000000u);
        }
    }
    return out;
}

/// Both forms against the core's composition of the whole frame, for every method and
/// glasses: 53 lines make whole bands and a shorter last one, 37 columns an odd side-by-side
/// frame; frames again at another size after.
void ExpectCoresPictures(AnaglyphForm form) {
    std::string error;
    const PluginLoader* plugins = PluginsNearCore("frei0r_mixer_test", error);
    ASSERT_NE(plugins, nullptr) << error;
    const char* const methods[] = {"grey", "half-colour", "colour", "dubois"};
    const char* const glasses[] = {"none", "red-cyan", "green-magenta", "amber-blue"};
    for (const auto& [width, height] : {std::pair{37, 53}, std::pair{16, 24}}) {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        const Frame first = RandomFrame(1, count), second = RandomFrame(2, count);
        Image16 left = Wide(first, width, height), right = Wide(second, width, height);
        if (form == AnaglyphForm::kSideBySide) {
            SplitViews(StereoLayout::kSideBySideHalfLeftFirst, Wide(first, width, height), left,
                       right);
        }
        f0r_instance_t effect =
            AnaglyphConstruct(form, static_cast<unsigned>(width), static_cast<unsigned>(height));
        ASSERT_NE(effect, nullptr);
        for (int m = 0; m < 4; ++m) {
            for (int g = 0; g < 4; ++g) {
                SCOPED_TRACE(std::string(methods[m]) + " " + glasses[g] + " " +
                             std::to_string(width) + "x" + std::to_string(height));
                AnaglyphSetParam(effect, const_cast<char**>(&methods[m]), 0);
                AnaglyphSetParam(effect, const_cast<char**>(&glasses[g]), 1);
                Frame out(count, 0x12345678u);
                AnaglyphUpdate(effect, first.data(),
                               form == AnaglyphForm::kMixer ? second.data() : nullptr, out.data());

                std::optional<stereo::Glasses> named;
                if (g > 0) named = static_cast<stereo::Glasses>(g - 1);
                const stereo::AnaglyphSettings settings = stereo::AnaglyphSettingsFor(
                    static_cast<stereo::AnaglyphMethod>(m), named, 0, 1, -0.1f, -0.1f);
                Image16 composed;
                {
                    std::lock_guard<std::recursive_mutex> model(ModelLock());
                    ASSERT_EQ(
                        stereo::ComposeAnaglyph(*plugins, settings, left, right, composed, error),
                        FilterOutcome::kDone)
                        << error;
                }
                const Frame want = Narrowed(composed, width);
                ASSERT_EQ(out.size(), want.size());
                for (size_t i = 0; i < count; ++i) {
                    ASSERT_EQ(out[i], want[i]) << "pixel " << i % width << "," << i / width;
                }
            }
        }
        AnaglyphDestruct(effect);
    }
}

TEST(Frei0rMixer, EveryMethodAndGlassesGiveTheCoresPictureInBandsOfAnyHeight) {
    ExpectCoresPictures(AnaglyphForm::kMixer);
}

TEST(Frei0rMixer, SideBySideFramesGiveTheCoresPictureOfTheWidenedViewsInBands) {
    ExpectCoresPictures(AnaglyphForm::kSideBySide);
}

}  // namespace
}  // namespace loom::frei0r
