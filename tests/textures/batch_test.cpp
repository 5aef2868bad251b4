// Batch evaluation against the per-sample calls, for the four texture classes: the same
// bits on every channel and the same random draws, over the settings that reach the most
// of each pattern, with trees of sub-maps (batched, random-drawing, foreign), with a
// transformed UV generator, and without allocating.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "foundation/host/base/crt.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"
#include "tests/textures/texture_kinds.h"

namespace {

/// Sample points of a batch, kept in arrays.
struct Samples {
    explicit Samples(int n, unsigned seed = 5) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> coord(-0.5f, 1.5f), width(0.0f, 0.01f);
        for (int i = 0; i < n; ++i) {
            u.push_back(coord(rng));
            v.push_back(coord(rng));
            du.push_back(width(rng));
            dv.push_back(width(rng));
        }
    }
    TexBatchPoints Points(TimeValue time = 0) const {
        TexBatchPoints p;
        p.count = static_cast<int>(u.size());
        p.time = time;
        p.u = u.data();
        p.v = v.data();
        p.du = du.data();
        p.dv = dv.data();
        return p;
    }
    std::vector<float> u, v, du, dv;
};

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

/// Colour, mono and normal of `tex` at every sample, batched and one by one, each from the
/// same generator state: identical bits, and the generator left in the same state.
void ExpectBatchEqualsSingles(Texmap* tex, const Samples& s) {
    const TexBatchPoints pts = s.Points();
    const auto n = static_cast<size_t>(pts.count);
    std::vector<AColor> colorBatch(n), colorSingle(n);
    std::vector<float> monoBatch(n), monoSingle(n);
    std::vector<Point3> normalBatch(n), normalSingle(n);

    // The noise tables are built by the first noise call of the process, from the
    // generator; they must exist before the two runs start from the same state.
    loom::PlaneShadeContext warm;
    warm.Set(0.5f, 0.5f);
    tex->EvalColor(warm);

    crt::srand(11);
    loom::EvalColorBatch(tex, pts, colorBatch.data());
    loom::EvalMonoBatch(tex, pts, monoBatch.data());
    loom::EvalNormalPerturbBatch(tex, pts, normalBatch.data());
    const int afterBatch = crt::rand();

    crt::srand(11);
    loom::PlaneShadeContext sc;
    for (size_t i = 0; i < n; ++i) {
        sc.Set(s.u[i], s.v[i], s.du[i], s.dv[i]);
        colorSingle[i] = tex->EvalColor(sc);
    }
    for (size_t i = 0; i < n; ++i) {
        sc.Set(s.u[i], s.v[i], s.du[i], s.dv[i]);
        monoSingle[i] = tex->EvalMono(sc);
    }
    for (size_t i = 0; i < n; ++i) {
        sc.Set(s.u[i], s.v[i], s.du[i], s.dv[i]);
        normalSingle[i] = tex->EvalNormalPerturb(sc);
    }
    EXPECT_EQ(crt::rand(), afterBatch) << "the batch drew a different number of values";

    int wrong = 0;
    for (size_t i = 0; i < n && wrong < 5; ++i) {
        const AColor& a = colorBatch[i];
        const AColor& b = colorSingle[i];
        const Point3& p = normalBatch[i];
        const Point3& q = normalSingle[i];
        const bool same = Bits(a.r) == Bits(b.r) && Bits(a.g) == Bits(b.g) &&
                          Bits(a.b) == Bits(b.b) && Bits(a.a) == Bits(b.a) &&
                          Bits(monoBatch[i]) == Bits(monoSingle[i]) && Bits(p.x) == Bits(q.x) &&
                          Bits(p.y) == Bits(q.y) && Bits(p.z) == Bits(q.z);
        if (!same) {
            ++wrong;
            ADD_FAILURE() << "sample " << i << " at (" << s.u[i] << ", " << s.v[i] << "): batch "
                          << a.r << " " << a.g << " " << a.b << " " << a.a << " / " << monoBatch[i]
                          << " / " << p.x << " " << p.y << " " << p.z << ", single " << b.r << " "
                          << b.g << " " << b.b << " " << b.a << " / " << monoSingle[i] << " / "
                          << q.x << " " << q.y << " " << q.z;
        }
    }
}

/// A generator of another make, without a batch mapping: it swaps and stretches the
/// coordinates, darkens what it samples, and takes its derivative one-sided.
class SwappingUVGen final : public UVGen {
  public:
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    void Update(TimeValue, Interval&) override {}
    void Reset() override {}
    Interval Validity(TimeValue) override { return FOREVER; }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
    AColor EvalUVMap(ShadeContext& sc, MapSampler* samp, BOOL) override {
        const Point3 p = sc.UVW(1);
        AColor c = samp->Sample(sc, p.y * 2.0f, p.x - 0.25f);
        return AColor(c.r * 0.5f, c.g, c.b * 0.25f, c.a);
    }
    float EvalUVMapMono(ShadeContext& sc, MapSampler* samp, BOOL) override {
        const Point3 p = sc.UVW(1);
        return samp->SampleMono(sc, p.y * 2.0f, p.x - 0.25f) * 0.75f;
    }
    Point2 EvalDeriv(ShadeContext& sc, MapSampler* samp, BOOL) override {
        const Point3 p = sc.UVW(1);
        const float here = samp->SampleMono(sc, p.x, p.y);
        const float du = samp->SampleMono(sc, p.x + 0.01f, p.y) - here;
        const float dv = samp->SampleMono(sc, p.x, p.y + 0.01f) - here;
        const float again = samp->SampleMono(sc, p.x, p.y);
        return {du * 100.0f + again, dv * 100.0f};
    }
    void GetBumpDP(ShadeContext& sc, Point3& dPdu, Point3& dPdv) override {
        Point3 dP[3];
        sc.DPdUVW(dP, 1);
        dPdu = dP[0];
        dPdv = dP[1];
    }
    int SymFlags() override { return 0; }
    void SetSymFlags(int) override {}
    void GetUVTransform(Matrix3& m) override { m.IdentityMatrix(); }
    int GetTextureTiling() override { return 0; }
};

template <class Kind>
class TextureBatch : public loomtest::TextureFixture<typename Kind::Tex, Kind::kInfo> {
  protected:
    using Tex = typename Kind::Tex;

    /// Applies one of the class's busy settings through the block.
    static void Apply(Tex* t, const loomtest::RowSetting (&settings)[5]) {
        for (const loomtest::RowSetting& s : settings) {
            if (s.row < 0) continue;
            IParamBlock* pb = t->ParamBlock();
            if (pb->GetParameterType(s.row) == TYPE_INT) {
                pb->SetValue(s.row, 0, static_cast<int>(s.value));
            } else {
                pb->SetValue(s.row, 0, s.value);
            }
        }
    }
    static void UpdateAt(Texmap* t, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
    }
};

using Kinds = ::testing::Types<loomtest::VoltraneKind, loomtest::FervixKind, loomtest::LumidotKind,
                               loomtest::NimbraKind>;
TYPED_TEST_SUITE(TextureBatch, Kinds);

TYPED_TEST(TextureBatch, BatchGivesTheBitsOfSingleSamples) {
    // 150 samples: two whole working pieces and a short one.
    const Samples s(150);
    this->UpdateAt(this->tex);
    {
        SCOPED_TRACE("defaults");
        ExpectBatchEqualsSingles(this->tex, s);
    }
    for (const auto& settings : TypeParam::kBusy) {
        SCOPED_TRACE(testing::Message() << "setting " << &settings - TypeParam::kBusy);
        this->tex->Reset();
        this->Apply(this->tex, settings);
        this->UpdateAt(this->tex);
        ExpectBatchEqualsSingles(this->tex, s);
    }
}

TYPED_TEST(TextureBatch, SubMapTreesBatchExactly) {
    const Samples s(90, 9);
    // Slot 0: a Nimbra holding a Lumidot; slot 1: a foreign map without a batch path.
    auto* nimbra = new NimbraTex();
    nimbra->SetSubTexmap(1, new LumidotTex());
    this->tex->SetSubTexmap(0, nimbra);
    this->tex->SetSubTexmap(1, new loomtest::ConstMap(AColor(0.2f, 0.4f, 0.6f, 0.5f), 0.3f));
    this->UpdateAt(this->tex);
    {
        SCOPED_TRACE("batched tree with a foreign map");
        ExpectBatchEqualsSingles(this->tex, s);
    }
    // A Voltrane in the tree draws random numbers: with a second drawer beside it the tree
    // runs sample by sample, alone it runs batched; both must keep the draws' order.
    auto* voltrane = new VoltraneTex();
    voltrane->ParamBlock()->SetValue(kVoltraneEdgeNoise, 0, 5.0f);
    voltrane->ParamBlock()->SetValue(kVoltraneSweepPhase, 0, 70);
    nimbra->SetSubTexmap(0, voltrane);
    this->tex->SetSubTexmap(1, nullptr);
    this->UpdateAt(this->tex);
    {
        SCOPED_TRACE("one random-drawing map in the tree");
        ExpectBatchEqualsSingles(this->tex, s);
    }
    this->tex->SetSubTexmap(1, new VoltraneTex());
    this->UpdateAt(this->tex);
    {
        SCOPED_TRACE("two random-drawing maps in the tree");
        ExpectBatchEqualsSingles(this->tex, s);
    }
}

TYPED_TEST(TextureBatch, TransformedCoordinatesBatchExactly) {
    IParamBlock* uv = static_cast<loom::StdUVGen*>(this->tex->UVGenerator())->ParamBlock();
    uv->SetValue(loom::kUVTilingU, 0, 2.5f);
    uv->SetValue(loom::kUVTilingV, 0, 0.75f);
    uv->SetValue(loom::kUVOffsetU, 0, 0.3f);
    uv->SetValue(loom::kUVAngle, 0, 33.0f);
    uv->SetValue(loom::kUVSymFlags, 0, U_MIRROR | V_WRAP);
    this->UpdateAt(this->tex);
    ExpectBatchEqualsSingles(this->tex, Samples(70, 3));
}

TYPED_TEST(TextureBatch, AGeneratorWithoutBatchMappingIsFollowedSampleBySample) {
    auto* gen = new SwappingUVGen();
    ASSERT_EQ(gen->GetInterface(I_UVGEN_BATCH), nullptr);
    ASSERT_EQ(this->tex->ReplaceReference(loom::kUVGenRef, gen), REF_SUCCEED);
    this->UpdateAt(this->tex);
    ExpectBatchEqualsSingles(this->tex, Samples(70, 4));
}

TYPED_TEST(TextureBatch, ViewportBitmapShowsThePreviewOfEachPixel) {
    // 70 pixels a line: a whole working piece and a short one.
    constexpr int kSize = 70;
    for (const auto& settings : TypeParam::kBusy) {
        SCOPED_TRACE(testing::Message() << "setting " << &settings - TypeParam::kBusy);
        this->tex->Reset();
        this->Apply(this->tex, settings);
        this->UpdateAt(this->tex);
        this->tex->PatternPreview(0.5f, 0.5f);  // noise tables first
        crt::srand(3);
        Bitmap* bm = this->tex->BuildDisplayBitmap(kSize);
        ASSERT_NE(bm, nullptr);
        crt::srand(3);
        const float d = 1.0f / kSize;
        float v = 1.0f - 0.5f * d;
        std::vector<BMM_Color_64> line(kSize);
        int wrong = 0;
        for (int y = 0; y < kSize; ++y, v -= d) {
            ASSERT_EQ(bm->GetPixels(0, y, kSize, line.data()), 1);
            float u = 0.0f;
            for (int x = 0; x < kSize && wrong < 3; ++x, u += d) {
                const AColor c = this->tex->PatternPreview(u, v);
                const auto channel = [](float f) {
                    return static_cast<WORD>(static_cast<double>(ClampUnit(f)) * 65535.0);
                };
                const BMM_Color_64& px = line[static_cast<size_t>(x)];
                if (px.r != channel(c.r) || px.g != channel(c.g) || px.b != channel(c.b)) {
                    ++wrong;
                    ADD_FAILURE() << "pixel " << x << ", " << y;
                }
            }
        }
        bm->DeleteThis();
    }
}

TYPED_TEST(TextureBatch, BatchAllocatesNothing) {
    const Samples s(300);
    const TexBatchPoints pts = s.Points();
    std::vector<AColor> color(300);
    std::vector<float> mono(300);
    std::vector<Point3> normal(300);
    this->tex->SetSubTexmap(0, new NimbraTex());
    this->tex->SetSubTexmap(1, new loomtest::ConstMap(AColor(1, 0, 0, 1), 1));
    for (const auto& settings : TypeParam::kBusy) {
        this->Apply(this->tex, settings);
        this->UpdateAt(this->tex);
        loom::EvalColorBatch(this->tex, pts, color.data());  // builds the noise tables once
        const long before = loomtest::AllocationCount();
        loom::EvalColorBatch(this->tex, pts, color.data());
        loom::EvalMonoBatch(this->tex, pts, mono.data());
        loom::EvalNormalPerturbBatch(this->tex, pts, normal.data());
        EXPECT_EQ(loomtest::AllocationCount(), before)
            << "setting " << &settings - TypeParam::kBusy;
    }
}

}  // namespace
