#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/uvgen.h"

using namespace loom;

TEST(Bitmap, PutAndGetPixelsStayInside) {
    BitmapInfo bi;
    bi.SetWidth(4);
    bi.SetHeight(2);
    Bitmap* bm = TheManager->Create(&bi);
    ASSERT_NE(bm, nullptr);
    BMM_Color_64 line[4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    EXPECT_EQ(bm->PutPixels(0, 1, 4, line), 1);
    EXPECT_EQ(bm->PutPixels(1, 1, 4, line), 0);  // would run past the line
    EXPECT_EQ(bm->PutPixels(0, 2, 1, line), 0);
    BMM_Color_64 back[2];
    EXPECT_EQ(bm->GetPixels(2, 1, 2, back), 1);
    EXPECT_EQ(back[0], line[2]);
    EXPECT_EQ(back[1], line[3]);
    // The storage line a filter's read-ahead hints at is the line GetPixels reads.
    const StoredLine stored = StorageLine(bm, 1);
    ASSERT_NE(stored.bytes, nullptr);
    EXPECT_EQ(stored.width, 4);
    EXPECT_EQ(stored.pixelBytes, 8);
    EXPECT_EQ(reinterpret_cast<const BMM_Color_64*>(stored.bytes)[3], line[3]);
    EXPECT_EQ(StorageLine(bm, 2).bytes, nullptr);
    EXPECT_EQ(StorageLine(bm, -1).bytes, nullptr);
    EXPECT_EQ(StorageLine(nullptr, 0).bytes, nullptr);
    bm->DeleteThis();
    bi.SetWidth(0);
    EXPECT_EQ(TheManager->Create(&bi), nullptr);
}

TEST(Bitmap, ImageFilesRoundTripWithoutPremultiplying) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("loom_img_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    FloatImage img;
    img.width = 2;
    img.height = 1;
    // A half-transparent red must keep its full red.
    img.rgba = {1.0f, 0.0f, 0.5f, 0.5f, 0.25f, 2.0f, std::nanf(""), 1.0f};
    for (const char* name : {"a.png", "a.tif", "a.exr"}) {
        std::string err;
        std::string path = (dir / name).string();
        ASSERT_TRUE(WriteImage(path, img, 16, err)) << err;
        FloatImage back;
        int bits = 0;
        ASSERT_TRUE(ReadImage(path, back, bits, err)) << err;
        ASSERT_EQ(back.width, 2);
        EXPECT_NEAR(back.rgba[0], 1.0f, 1e-4) << name;
        EXPECT_NEAR(back.rgba[3], 0.5f, 1e-3) << name;
        if (std::string(name) != "a.exr") {
            EXPECT_EQ(bits, 16);
            EXPECT_EQ(back.rgba[5], 1.0f);  // clamped
            EXPECT_EQ(back.rgba[6], 0.0f);  // NaN written as 0
        } else {
            EXPECT_NEAR(back.rgba[5], 2.0f, 1e-3);  // EXR keeps values as they are
        }
    }
    // A failed write leaves the file that was there.
    { std::ofstream(dir / "keep.png") << "precious"; }
    std::string err;
    img.rgba.pop_back();  // malformed image
    EXPECT_FALSE(WriteImage((dir / "keep.png").string(), img, 8, err));
    std::ifstream in(dir / "keep.png");
    std::string content;
    in >> content;
    EXPECT_EQ(content, "precious");
    EXPECT_FALSE(WriteImage((dir / "no" / "x.png").string(), img, 8, err));
    fs::remove_all(dir);
}

namespace {

class RecordingSampler final : public MapSampler {
  public:
    AColor Sample(ShadeContext&, float u, float v) override { return AColor(u, v, 0, 1); }
    AColor SampleFilter(ShadeContext&, float u, float v, float, float) override {
        return AColor(u, v, 0, 1);
    }
    float SampleMono(ShadeContext&, float u, float v) override { return 3.0f * u + 5.0f * v; }
    float SampleMonoFilter(ShadeContext& sc, float u, float v, float, float) override {
        return SampleMono(sc, u, v);
    }
};

}  // namespace

TEST(UVGen, DefaultPassesCoordinatesUnchanged) {
    UVGen* gen = GetNewDefaultUVGen();
    Interval v = FOREVER;
    gen->Update(0, v);
    PlaneShadeContext sc;
    RecordingSampler s;
    for (float u : {-3.25f, 0.1f, 0.7f, 12.5f}) {
        sc.Set(u, 1.0f - u);
        AColor c = gen->EvalUVMap(sc, &s, TRUE);
        EXPECT_EQ(c.r, u);
        EXPECT_EQ(c.g, 1.0f - u);
    }
    sc.Set(0.3f, 0.6f);
    Point2 d = gen->EvalDeriv(sc, &s, TRUE);
    EXPECT_NEAR(d.x, 3.0f, 1e-3);
    EXPECT_NEAR(d.y, 5.0f, 1e-3);
    Point3 dpdu, dpdv;
    gen->GetBumpDP(sc, dpdu, dpdv);
    EXPECT_EQ(dpdu, Point3(1, 0, 0));
    EXPECT_EQ(dpdv, Point3(0, 1, 0));
    gen->DeleteThis();
}

TEST(UVGen, TilingOffsetWrapAndMirror) {
    UVGen* gen = GetNewDefaultUVGen();
    auto* pb = dynamic_cast<IParamBlock*>(gen->GetReference(0));
    ASSERT_NE(pb, nullptr);
    pb->SetValue(kUVTilingU, 0, 2.0f);
    pb->SetValue(kUVOffsetV, 0, 0.25f);
    pb->SetValue(kUVSymFlags, 0, U_WRAP | V_MIRROR);
    Interval v = FOREVER;
    gen->Update(0, v);
    PlaneShadeContext sc;
    RecordingSampler s;
    sc.Set(0.75f, 1.0f);  // u: 1.5 wraps to 0.5; v: 1.25 mirrors to 0.75
    AColor c = gen->EvalUVMap(sc, &s, FALSE);
    EXPECT_FLOAT_EQ(c.r, 0.5f);
    EXPECT_FLOAT_EQ(c.g, 0.75f);
    EXPECT_EQ(gen->SymFlags(), U_WRAP | V_MIRROR);
    gen->DeleteThis();
}
