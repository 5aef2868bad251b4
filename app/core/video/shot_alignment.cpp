#include "app/core/video/shot_alignment.h"

#include "app/core/video/packed_warp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <stdexcept>
#include <utility>

namespace loom {
namespace {

/// How far apart two estimates of one shot are: their displacements of the picture's edge,
/// in pixels, summed.
double Distance(const stereo::Alignment& a, const stereo::Alignment& b) {
    const double half = a.width / 2.0;
    return std::abs(a.dyPx - b.dyPx) + half * std::abs(a.rotationDeg - b.rotationDeg) * M_PI / 180 +
           half * std::abs(a.scale - b.scale) + half * std::abs(a.keystone - b.keystone);
}

/// The estimate nearest the others (the medoid): one sample thrown off by motion blur or a
/// fade does not move it. Between equals, the one with more matches, then the earlier.
const stereo::Alignment& Nearest(const std::vector<stereo::Alignment>& samples) {
    std::size_t best = 0;
    double bestSum = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double sum = 0;
        for (const stereo::Alignment& other : samples) sum += Distance(samples[i], other);
        if (i == 0 || sum < bestSum - 1e-9 ||
            (sum <= bestSum + 1e-9 && samples[i].matches > samples[best].matches)) {
            best = i;
            bestSum = sum;
        }
    }
    return samples[best];
}

/// A packed view's pixels as OpenCV sees them: three channels of 8 or 16 bits.
cv::Mat WrapPacked(Image16& view) {
    return cv::Mat(view.height, view.width, view.bits == 8 ? CV_8UC3 : CV_16UC3,
                   view.packed.data());
}

/// A packed view of `crop`'s size at `bits` in the memory of `buffer` (its values left to
/// be written), which takes the view's old memory in turn.
void Repack(Image16& view, const stereo::CropRect& crop, PackedRgb& buffer) {
    buffer.resize(static_cast<std::size_t>(crop.width) * crop.height * PackedPixelBytes(view.bits));
    view.packed.swap(buffer);
    view.width = crop.width;
    view.height = crop.height;
}

/// What ApplyAdjustment does, on packed views (the frames of 8- and 16-bit video stay
/// packed from decoder to encoder: a third or less of the bytes to move, and the
/// composition keeps its packed path). The right view is resampled at its own depth by
/// WarpPackedRgb; uncovered pixels are black, as for unpacked views.
void AdjustPacked(const ShotAdjustment& shot, const stereo::CropRect& crop, Image16& left,
                  Image16& right, AdjustScratch& scratch) {
    Image16 source;  // the view as read, in the memory it came in
    source.width = right.width;
    source.height = right.height;
    source.bits = right.bits;
    Repack(right, crop, scratch.right);
    source.packed.swap(scratch.right);
    if (shot.moved) {
        // The correction, then the parallax, then the crop's corner as the origin.
        const std::array<double, 9>& k = shot.correction;
        const double dx = shot.result.parallaxPx - crop.x, dy = -crop.y;
        const std::array<double, 9> forward{k[0] + dx * k[6],
                                            k[1] + dx * k[7],
                                            k[2] + dx * k[8],
                                            k[3] + dy * k[6],
                                            k[4] + dy * k[7],
                                            k[5] + dy * k[8],
                                            k[6],
                                            k[7],
                                            k[8]};
        // In two bands of rows: the decoding thread does this, and the composition and the
        // encoder wait for it; where a core is idle it takes half.
        WarpPackedRgb(source.packed.data(), source.width, source.height, source.bits, forward,
                      right.packed.data(), crop.width, crop.height, PackedWarpPath::kAny, 2);
    } else {
        WrapPacked(source)(cv::Rect(crop.x, crop.y, crop.width, crop.height))
            .copyTo(WrapPacked(right));
    }
    source.packed.swap(scratch.right);
    if (crop.x == 0 && crop.y == 0 && crop.width == left.width && crop.height == left.height) {
        return;
    }
    source.width = left.width;
    source.height = left.height;
    Repack(left, crop, scratch.left);
    source.packed.swap(scratch.left);
    cv::Mat leftDst = WrapPacked(left);
    WrapPacked(source)(cv::Rect(crop.x, crop.y, crop.width, crop.height)).copyTo(leftDst);
    source.packed.swap(scratch.left);
}

/// Whether both views hold packed pixels of one depth and of their size.
bool PackedAlike(const Image16& left, const Image16& right) {
    const std::size_t pixels = static_cast<std::size_t>(left.width) * left.height;
    return IsPacked(left) && IsPacked(right) && left.bits == right.bits &&
           left.width == right.width && left.height == right.height &&
           left.packed.size() == pixels * PackedPixelBytes(left.bits) &&
           right.packed.size() == left.packed.size();
}

}  // namespace

std::string ShotAdjustment::Describe(int number) const {
    char text[160];
    std::snprintf(text, sizeof text, "shot %d (frames %lld-%lld, from %.3f s)", number, firstFrame,
                  lastFrame, firstSeconds);
    return text;
}

const ShotAdjustment& ClipAdjustment::ShotAt(long long pts) const {
    if (shots.empty()) throw std::logic_error("a clip of no shots");
    std::size_t at = 0;
    while (at + 1 < shots.size() && shots[at + 1].firstPts <= pts) ++at;
    return shots[at];
}

bool ClipAdjustment::ChangesFrames() const {
    if (swap || crop.x != 0 || crop.y != 0 || crop.width != width || crop.height != height) {
        return true;
    }
    for (const ShotAdjustment& s : shots) {
        if (s.moved) return true;
    }
    return false;
}

ClipAnalysis::ClipAnalysis(const stereo::AdjustOptions& options, int timeBaseNum, int timeBaseDen)
    : options_(options),
      estimating_(options.align != stereo::AlignMode::kOff || options.autoParallax),
      timeBaseNum_(timeBaseNum),
      timeBaseDen_(timeBaseDen) {
    clip_.swap = options.swap;
    options_.estimate.maxFeatures = std::min(options_.estimate.maxFeatures, kVideoMaxFeatures);
}

void ClipAnalysis::Add(const Image16& leftIn, const Image16& rightIn, long long pts) {
    const Image16& left = options_.swap ? rightIn : leftIn;
    const Image16& right = options_.swap ? leftIn : rightIn;
    if (clip_.shots.empty()) {
        clip_.width = left.width;
        clip_.height = left.height;
        // The frames of a shot held until it is decided: 2 spacings and one, within the bound.
        const std::size_t pairBytes = 2 * (left.packed.size() + left.pixels.size() * 8);
        const std::size_t fit = pairBytes > 0 ? kShotHoldBytes / pairBytes : 0;
        spacing_ = static_cast<int>(
            std::clamp<std::size_t>(fit > 0 ? (fit - 1) / 2 : 1, 1, kShotSampleSpacing));
    }
    if (left.width != clip_.width || left.height != clip_.height || right.width != left.width ||
        right.height != left.height) {
        throw std::runtime_error("the views change size within the video");
    }
    if (cuts_.StartsShot(left)) {
        if (!clip_.shots.empty()) CloseShot();
        ShotAdjustment shot;
        shot.firstFrame = frame_;
        shot.firstPts = pts;
        if (clip_.shots.empty()) {
            firstPts_ = pts;
        }
        shot.firstSeconds = static_cast<double>(pts - firstPts_) * timeBaseNum_ / timeBaseDen_;
        clip_.shots.push_back(shot);
        decided_ = false;
    }
    ShotAdjustment& shot = clip_.shots.back();
    shot.lastFrame = frame_;
    const long long offset = frame_ - shot.firstFrame;
    ++frame_;
    if (decided_) return;
    if (!estimating_) {
        Decide();
        return;
    }
    if (offset % spacing_ != 0 || offset / spacing_ >= kShotSamples) return;
    // The third sample only when the first two do not agree.
    if (offset / spacing_ == kShotSamples - 1 && FirstTwoAgree()) {
        Decide();
        return;
    }
    Launch(left, right);
}

void ClipAnalysis::Launch(const Image16& left, const Image16& right) {
    ++clip_.shots.back().samples;
    // The grey pictures here, then the estimate on a thread of its own: the frames go on
    // being read meanwhile, and the views are left as they came, for the frame's
    // composition. The greys are a quarter of a packed 8-bit pair's memory (a copy of the
    // views would be 12 MB of new memory a 1080p sample).
    const auto start = std::chrono::steady_clock::now();
    std::optional<stereo::GreyPair> greys;
    std::string failure;
    try {
        greys.emplace(left, right);
    } catch (const std::invalid_argument& e) {
        failure = e.what();
    }
    pending_.push_back(std::async(std::launch::async, [greys = std::move(greys), failure, start,
                                                       options = options_.estimate] {
        Sample sample;
        sample.failure = failure;
        if (greys) {
            try {
                sample.alignment = stereo::EstimateAlignment(*greys, options);
            } catch (const stereo::AlignmentError& e) {
                sample.failure = e.what();
            } catch (const std::invalid_argument& e) {
                sample.failure = e.what();
            }
        }
        sample.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return sample;
    }));
}

void ClipAnalysis::Collect() {
    for (std::future<Sample>& f : pending_) samples_.push_back(f.get());
    pending_.clear();
}

bool ClipAnalysis::FirstTwoAgree() {
    Collect();
    return samples_.size() >= 2 && samples_[0].alignment && samples_[1].alignment &&
           Distance(*samples_[0].alignment, *samples_[1].alignment) <= kShotSamplesAgreePx;
}

void ClipAnalysis::Settle() {
    if (clip_.shots.empty() || decided_) return;
    Collect();
    if (FirstTwoAgree() || static_cast<int>(samples_.size()) == kShotSamples) Decide();
}

void ClipAnalysis::Decide() {
    Collect();
    ShotAdjustment& shot = clip_.shots.back();
    stereo::AdjustResult& result = shot.result;
    std::vector<stereo::Alignment> matched;
    for (Sample& sample : samples_) {
        result.seconds += sample.seconds;
        if (sample.alignment) {
            matched.push_back(std::move(*sample.alignment));
        } else {
            lastFailure_ = sample.failure;
        }
    }
    samples_.clear();
    shot.samplesMatched = static_cast<int>(matched.size());
    if (!matched.empty()) result.alignment = Nearest(matched);
    result.aligned = result.alignment && (options_.align == stereo::AlignMode::kApply ||
                                          options_.align == stereo::AlignMode::kTry);
    if (result.aligned) shot.correction = result.alignment->correction;
    if (options_.autoParallax) {
        result.parallaxPx = result.alignment ? stereo::AutoParallax(*result.alignment) : 0;
    } else {
        result.parallaxPx = options_.parallaxPx;
    }
    shot.moved = result.aligned || result.parallaxPx != 0;
    shot.ownArea =
        stereo::SharedArea(clip_.width, clip_.height, shot.correction, result.parallaxPx);
    if (clip_.shots.size() == 1) FixCrop();
    decided_ = true;
}

void ClipAnalysis::FixCrop() {
    const ShotAdjustment& first = clip_.shots.front();
    if (first.ownArea.width <= 0 || first.ownArea.height <= 0) {
        throw std::runtime_error(first.Describe(1) +
                                 ": the views share no area after alignment and parallax");
    }
    const bool applied =
        options_.align == stereo::AlignMode::kApply || options_.align == stereo::AlignMode::kTry;
    stereo::CropMode mode = options_.crop;
    if (mode == stereo::CropMode::kDefault) {
        mode = applied || options_.autoParallax || options_.parallaxPx != 0
                   ? stereo::CropMode::kAuto
                   : stereo::CropMode::kNone;
    }
    stereo::CropRect crop{0, 0, clip_.width, clip_.height};
    if (mode != stereo::CropMode::kNone) {
        crop = first.ownArea;
        // Room for the later shots' corrections, which differ from the first's.
        if (applied || options_.autoParallax) {
            const int margin = static_cast<int>(std::ceil(kCropMarginShare * clip_.height));
            crop = {crop.x + margin, crop.y + margin, crop.width - 2 * margin,
                    crop.height - 2 * margin};
        }
        if (crop.width <= 0 || crop.height <= 0) {
            throw std::runtime_error(first.Describe(1) +
                                     ": the views share too small an area to cut the frames to "
                                     "(--crop none keeps the whole frame)");
        }
        if (mode == stereo::CropMode::kAspect) {
            crop = stereo::AspectInside(crop, options_.aspectW, options_.aspectH);
        }
        // Encoders subsample colour by two: a cut frame keeps even sides.
        if (crop.width != clip_.width || crop.height != clip_.height) {
            crop.width -= crop.width % 2;
            crop.height -= crop.height % 2;
            if (crop.width < 2 || crop.height < 2) {
                throw std::runtime_error("the shots share too small an area to cut the frames to");
            }
        }
    }
    clip_.crop = crop;
}

void ClipAnalysis::CloseShot() {
    if (!decided_) Decide();
    ShotAdjustment& shot = clip_.shots.back();
    const int number = static_cast<int>(clip_.shots.size());
    stereo::AdjustResult& result = shot.result;
    if (!result.alignment && estimating_) {
        const std::string why = shot.Describe(number) + ": " + lastFailure_;
        if (options_.align != stereo::AlignMode::kTry &&
            options_.align != stereo::AlignMode::kReport) {
            throw stereo::AlignmentError(why + " (--align=try composes such shots unaligned)", 0);
        }
        result.warnings.push_back(why + "; composed unaligned");
    }
    if (result.alignment && stereo::LooksSwapped(*result.alignment)) {
        result.warnings.push_back(shot.Describe(number) + ": " +
                                  stereo::SwappedWarning(*result.alignment, options_.swap));
    }
    if (options_.autoParallax && result.alignment && !result.aligned) {
        result.warnings.push_back(shot.Describe(number) +
                                  ": the parallax was measured as if the views were aligned");
    }
    const stereo::CropRect& c = clip_.crop;
    const stereo::CropRect covered = stereo::Intersection(c, shot.ownArea);
    if (shot.moved && (covered.width != c.width || covered.height != c.height)) {
        const int lost = std::max({shot.ownArea.x - c.x, shot.ownArea.y - c.y,
                                   c.x + c.width - shot.ownArea.x - shot.ownArea.width,
                                   c.y + c.height - shot.ownArea.y - shot.ownArea.height});
        result.warnings.push_back(
            shot.Describe(number) + ": its corrected views leave up to " + std::to_string(lost) +
            " px of the frame's edge black (the frame's size was fixed by shot 1)");
    }
    result.crop = c;
}

ClipAdjustment ClipAnalysis::Finish() {
    if (clip_.shots.empty()) throw std::runtime_error("no frame could be read");
    CloseShot();
    return std::move(clip_);
}

void AdjustFrame(const ClipAdjustment& clip, long long pts, Image16& left, Image16& right) {
    AdjustFrame(clip, clip.ShotAt(pts), left, right);
}

void AdjustFrame(const ClipAdjustment& clip, const ShotAdjustment& shot, Image16& leftIn,
                 Image16& rightIn, AdjustScratch* scratch) {
    if (clip.swap) std::swap(leftIn, rightIn);
    const stereo::CropRect& crop = clip.crop;
    const bool whole =
        crop.x == 0 && crop.y == 0 && crop.width == leftIn.width && crop.height == leftIn.height;
    if (!shot.moved && whole) return;
    if (crop.x < 0 || crop.y < 0 || crop.x + crop.width > leftIn.width ||
        crop.y + crop.height > leftIn.height) {
        throw std::invalid_argument("the crop lies outside the views");
    }
    if (PackedAlike(leftIn, rightIn)) {
        AdjustScratch own;
        AdjustPacked(shot, crop, leftIn, rightIn, scratch ? *scratch : own);
        return;
    }
    Unpack(leftIn);
    Unpack(rightIn);
    stereo::ApplyAdjustment(shot.correction, shot.moved, shot.result.parallaxPx, crop, leftIn,
                            rightIn);
}

namespace {

nlohmann::ordered_json RectJson(const stereo::CropRect& r) {
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

}  // namespace

std::string ClipAdjustmentJson(const ClipAdjustment& clip) {
    nlohmann::ordered_json j;
    j["width"] = clip.width;
    j["height"] = clip.height;
    j["crop"] = RectJson(clip.crop);
    nlohmann::ordered_json shots = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < clip.shots.size(); ++i) {
        const ShotAdjustment& s = clip.shots[i];
        nlohmann::ordered_json one;
        one["shot"] = i + 1;
        one["first_frame"] = s.firstFrame;
        one["last_frame"] = s.lastFrame;
        one["first_time_s"] = s.firstSeconds;
        one["samples"] = s.samples;
        one["samples_matched"] = s.samplesMatched;
        one["shot_area"] = RectJson(s.ownArea);
        const nlohmann::ordered_json still =
            nlohmann::ordered_json::parse(stereo::AdjustJson(s.result));
        for (auto it = still.begin(); it != still.end(); ++it) one[it.key()] = it.value();
        shots.push_back(one);
    }
    j["shots"] = shots;
    return j.dump(2);
}

}  // namespace loom
