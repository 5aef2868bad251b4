// Prints the vector level this process runs and a digest of the bits every vector site
// gives at it: the vector math library, the noise, the four textures' batch evaluation,
// the packed pixel conversions, the stereo composition (the filter's and the colour
// methods') and the video views' resampler.
// same_bits_test.py runs it at each level the processor has and compares the digests with the
// scalar level's.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "app/core/stereo/colour_methods.h"
#include "app/core/video/packed_warp.h"
#include "dioptrix/composite.h"
#include "foundation/host/base/crt.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/host/sdk/packed_pixels.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/noise/noise.h"
#include "foundation/vecmath/vec_math.h"
#include "tests/textures/texture_kinds.h"

namespace {

/// 64-bit FNV-1a over the bytes given.
class Digest {
  public:
    void Add(const void* data, std::size_t bytes) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < bytes; ++i) hash_ = (hash_ ^ p[i]) * 0x100000001B3ull;
    }
    template <class T>
    void Add(const std::vector<T>& values) {
        Add(values.data(), values.size() * sizeof(T));
    }
    std::uint64_t Value() const { return hash_; }

  private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

void Print(const char* suite, const Digest& d) {
    std::printf("%s %016llx\n", suite, static_cast<unsigned long long>(d.Value()));
}

/// Runs `fn(first, count)` over 0..n in pieces of 1, 2, ... 19 elements and again, so that
/// every tail length of every kernel's width is taken.
template <class Fn>
void InPieces(int n, Fn fn) {
    int len = 1;
    for (int first = 0; first < n; first += len, len = len % 19 + 1) {
        fn(first, first + len <= n ? len : n - first);
    }
}

void VectorMath() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> wide(-1e4, 1e4), narrow(-4.0, 4.0);
    const int n = 4000;
    std::vector<double> x(n), y(n), sin(n), cos(n), atan2(n), hypot(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i % 2 ? wide(rng) : narrow(rng);
        y[i] = narrow(rng);
    }
    InPieces(n, [&](int f, int m) {
        loom::vecmath::Sin(&x[f], &sin[f], m);
        loom::vecmath::Cos(&x[f], &cos[f], m);
        loom::vecmath::Atan2(&y[f], &x[f], &atan2[f], m);
        loom::vecmath::Hypot(&x[f], &y[f], &hypot[f], m);
    });
    Digest d;
    for (const auto* v : {&sin, &cos, &atan2, &hypot}) d.Add(*v);
    Print("vecmath", d);
}

void Noise() {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> coord(-300.0f, 300.0f);
    const int n = 20000;
    std::vector<float> x(n), y(n), z(n), noise(n), turbulence(n);
    for (int i = 0; i < n; ++i) {
        x[i] = coord(rng);
        y[i] = coord(rng);
        // Every fourth point on a lattice plane, where the scalar path's edge cases sit.
        z[i] = i % 4 ? coord(rng) : static_cast<float>(i % 7);
    }
    InPieces(n, [&](int f, int m) {
        noise3Batch(&x[f], &y[f], &z[f], m, &noise[f]);
        turbulenceBatch(&x[f], &y[f], &z[f], m, 37.0f, &turbulence[f]);
    });
    Digest d;
    d.Add(noise);
    d.Add(turbulence);
    Print("noise", d);
}

/// Colour, mono and normal of a texture's batch at its defaults and its busy settings.
template <class Kind>
void Texture(const char* suite) {
    const int n = 3000;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> coord(-0.5f, 1.5f), width(0.0f, 0.01f);
    std::vector<float> u(n), v(n), du(n), dv(n);
    for (int i = 0; i < n; ++i) {
        u[i] = coord(rng);
        v[i] = coord(rng);
        du[i] = width(rng);
        dv[i] = width(rng);
    }
    TexBatchPoints pts;
    pts.count = n;
    pts.u = u.data();
    pts.v = v.data();
    pts.du = du.data();
    pts.dv = dv.data();
    loom::SceneHolder scene;
    auto* tex = new typename Kind::Tex();
    scene.Add("tex", tex);
    Digest d;
    std::vector<AColor> color(n);
    std::vector<float> mono(n);
    std::vector<Point3> normal(n);
    const auto sample = [&] {
        Interval valid = FOREVER;
        tex->Update(0, valid);
        crt::srand(11);
        loom::EvalColorBatch(tex, pts, color.data());
        loom::EvalMonoBatch(tex, pts, mono.data());
        loom::EvalNormalPerturbBatch(tex, pts, normal.data());
        d.Add(color);
        d.Add(mono);
        d.Add(normal);
    };
    sample();
    for (const auto& settings : Kind::kBusy) {
        tex->Reset();
        for (const loomtest::RowSetting& s : settings) {
            if (s.row < 0) continue;
            IParamBlock* pb = tex->ParamBlock();
            if (pb->GetParameterType(s.row) == TYPE_INT) {
                pb->SetValue(s.row, 0, static_cast<int>(s.value));
            } else {
                pb->SetValue(s.row, 0, s.value);
            }
        }
        sample();
    }
    Print(suite, d);
}

std::vector<BMM_Color_64> RandomPixels(std::mt19937& rng, int n) {
    std::uniform_int_distribution<int> word(0, 65535);
    std::vector<BMM_Color_64> pixels(static_cast<std::size_t>(n));
    for (BMM_Color_64& p : pixels) {
        p.r = static_cast<WORD>(word(rng));
        p.g = static_cast<WORD>(word(rng));
        p.b = static_cast<WORD>(word(rng));
        p.a = static_cast<WORD>(word(rng));
    }
    return pixels;
}

void PackedPixels() {
    std::mt19937 rng(4);
    const int n = 5000;
    const std::vector<BMM_Color_64> pixels = RandomPixels(rng, n);
    std::vector<std::uint8_t> packed24(3 * n), packed48(6 * n);
    std::vector<BMM_Color_64> widened24(n), widened48(n), copied(n);
    InPieces(n, [&](int f, int m) {
        const auto first = static_cast<std::size_t>(f), count = static_cast<std::size_t>(m);
        loom::PackRgb24(&pixels[first], &packed24[3 * first], count);
        loom::PackRgb48(&pixels[first], &packed48[6 * first], count);
        loom::WidenRgb24(&packed24[3 * first], &widened24[first], count);
        loom::WidenRgb48(&packed48[6 * first], &widened48[first], count);
        loom::CopyPixels(&pixels[first], &copied[first], count);
    });
    Digest d;
    d.Add(packed24);
    d.Add(packed48);
    d.Add(widened24);
    d.Add(widened48);
    d.Add(copied);
    Print("packed", d);
}

void StereoComposition() {
    std::mt19937 rng(5);
    Digest d;
    const DioptrixConfig configs[] = {
        {0, 1, {0, 0}, -0.1f, -0.1f},
        {2, 0, {0, 0}, -0.5f, 0.0f},
        {1, 2, {0, 0}, -0.37f, -0.02f},
    };
    for (const DioptrixConfig& config : configs) {
        const LineComposer s = MakeLineComposer(config);
        for (int width : {1, 7, 8, 9, 31, 333, 1920}) {
            std::vector<BMM_Color_64> a = RandomPixels(rng, width);
            const std::vector<BMM_Color_64> b = RandomPixels(rng, width);
            ComposeLine(s, a.data(), b.data(), width);
            d.Add(a);
        }
    }
    Print("stereo", d);
}

/// The colour methods' lines: every method and glasses, and a matrix of large entries (the
/// plain path), on 16-bit pixels and on packed RGB24 and RGB48, at widths around the
/// composition's steps.
void ColourComposition() {
    using namespace loom::stereo;
    std::mt19937 rng(6);
    Digest d;
    std::vector<ColourMatrix> matrices;
    for (AnaglyphMethod method :
         {AnaglyphMethod::kHalfColour, AnaglyphMethod::kColour, AnaglyphMethod::kDubois}) {
        for (Glasses glasses : {Glasses::kRedCyan, Glasses::kGreenMagenta, Glasses::kAmberBlue}) {
            matrices.push_back(MethodMatrix(method, glasses));
        }
    }
    matrices.push_back(
        {{{40, -3, 0.5f}, {0, 1, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, -20, 0}, {0, 0, 1}}});
    for (const ColourMatrix& m : matrices) {
        for (int width : {1, 15, 16, 17, 333, 1920}) {
            const std::vector<BMM_Color_64> a = RandomPixels(rng, width);
            const std::vector<BMM_Color_64> b = RandomPixels(rng, width);
            std::vector<BMM_Color_64> out(static_cast<std::size_t>(width));
            ComposeColourLine(m, a.data(), b.data(), out.data(), width);
            d.Add(out);
            for (int bits : {8, 16}) {
                std::vector<std::uint8_t> pa(static_cast<std::size_t>(width) * 6);
                std::vector<std::uint8_t> pb(pa.size());
                for (std::uint8_t& v : pa) v = static_cast<std::uint8_t>(rng());
                for (std::uint8_t& v : pb) v = static_cast<std::uint8_t>(rng());
                ComposeColourLinePacked(m, bits, pa.data(), pb.data(), out.data(), width);
                d.Add(out);
            }
        }
    }
    Print("colour", d);
}

/// The video views' resampler at 8 bits (the vector code) through affine and projective
/// corrections: small and large turns (taps of sixteen columns one row apart, and further),
/// scales that shrink and grow, views partly outside, on pictures whose widths are and are
/// not multiples of sixteen and whose last pixel ends the buffer.
void VideoWarp() {
    std::mt19937 rng(9);
    Digest d;
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{17, 2}, std::pair{33, 5},
                               std::pair{37, 23}, std::pair{640, 360}, std::pair{1001, 67}}) {
        std::vector<std::uint8_t> src(static_cast<std::size_t>(w) * h * 3);
        for (std::uint8_t& v : src) v = static_cast<std::uint8_t>(rng());
        for (const double turn : {0.012, -0.05, 0.11}) {
            for (const double scale : {0.999, 0.93, 1.2}) {
                for (const double keystone : {0.0, 3e-4}) {
                    const double c = scale * std::cos(turn), s = scale * std::sin(turn);
                    std::vector<std::uint8_t> out(src.size());
                    loom::WarpPackedRgb(src.data(), w, h, 8,
                                        {c, -s, 1.7, s, c, -2.35, keystone, 0, 1}, out.data(), w,
                                        h);
                    d.Add(out);
                }
            }
        }
        // A translation: the row path.
        std::vector<std::uint8_t> out(src.size());
        loom::WarpPackedRgb(src.data(), w, h, 8, {1, 0, 1.7, 0, 1, -2.35, 0, 0, 1}, out.data(), w,
                            h);
        d.Add(out);
    }
    Print("video_warp", d);
}

}  // namespace

int main() {
    std::printf("level %s\n", loom::VectorLevelName(loom::ActiveVectorLevel()));
    VectorMath();
    Noise();
    Texture<loomtest::VoltraneKind>("voltrane");
    Texture<loomtest::FervixKind>("fervix");
    Texture<loomtest::LumidotKind>("lumidot");
    Texture<loomtest::NimbraKind>("nimbra");
    PackedPixels();
    StereoComposition();
    ColourComposition();
    VideoWarp();
    return 0;
}
