#pragma once
/// The host's sample sphere: a texture on a lit sphere of radius 1 at the origin, seen
/// through a window of the plane z = 0 from an eye on the line y = 0, z = 5. The window is
/// 2.5 units high (the width follows the image's aspect) and stays put when the eye moves
/// sideways, so that two eyes a small distance apart see a stereo pair whose zero
/// parallax lies at the sphere's centre (its front stands out of the picture).

#include <vector>

#include "app/core/render/renderer.h"

namespace loom {

/// Distance of the eye from the window plane.
inline constexpr double kSphereEyeDistance = 5.0;
/// Half the height of the window, in scene units.
inline constexpr double kSphereWindowHalfHeight = 1.25;

/// Renders pixel (x, y) of the sphere image from the eye at (opt.eyeOffset, 0, 5): four
/// samples per pixel, each the texture's colour (or mono value) times the sample light;
/// the background is opaque black. The normal image holds the shading normal perturbed by
/// the texture's bump, mapped to 0..1 (the flat background faces the eye: 0.5, 0.5, 1).
void RenderSpherePixel(Texmap* tex, const RenderOptions& opt, RenderImages& out, int x, int y);

/// One thread's working arrays for RenderSphereRow, made once per thread.
struct SphereRowBuffers {
    std::vector<float> u, v, du, dv, light;
    std::vector<Point3> p, dpdu, dpdv;
    std::vector<AColor> color;
    std::vector<float> mono;
    std::vector<Point3> normal;
    /// Whether each sample of the row hit the sphere, pixel by pixel.
    std::vector<unsigned char> hit;
};

/// Renders row y of the sphere image with every sample of the row in one batch (the
/// texture's batch interface when it has one): the pixels of RenderSpherePixel.
void RenderSphereRow(Texmap* tex, const RenderOptions& opt, RenderImages& out, int y,
                     SphereRowBuffers& buffers);

/// Where the ray through pixel position (px, py) (pixel units, y down) from the eye meets
/// the sphere; false when it passes by.
bool SphereHit(const RenderOptions& opt, double px, double py, Point3& hit);

}  // namespace loom
