#include "foundation/host/stdmaps/bitmap_tex.h"

#include <cmath>
#include <filesystem>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/uvgen.h"

namespace loom {

class BitmapTex::Sampler final : public MapSampler {
  public:
    explicit Sampler(const BitmapTex* tex) : tex_(tex) {}
    AColor Sample(ShadeContext&, float u, float v) override { return tex_->Sample(u, v); }
    AColor SampleFilter(ShadeContext&, float u, float v, float, float) override {
        return tex_->Sample(u, v);
    }
    float SampleMono(ShadeContext& sc, float u, float v) override {
        AColor c = Sample(sc, u, v);
        return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) / 3.0);
    }
    float SampleMonoFilter(ShadeContext& sc, float u, float v, float, float) override {
        return SampleMono(sc, u, v);
    }

  private:
    const BitmapTex* tex_;
};

namespace {
constexpr USHORT kPathChunk = 0x0100;

class BitmapTexClassDesc final : public ClassDesc {
  public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return static_cast<Texmap*>(new BitmapTex()); }
    const TCHAR* ClassName() override { return "Bitmap"; }
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
    Class_ID ClassID() override { return kBitmapTexClassId; }
    const TCHAR* Category() override { return TEXMAP_CAT_2D; }
};
BitmapTexClassDesc gBitmapTexDesc;
const bool gRegistered = RegisterClass(&gBitmapTexDesc);

}  // namespace

namespace {
thread_local int gNamesOnly = 0;
}  // namespace

ImageMapNamesOnly::ImageMapNamesOnly() { ++gNamesOnly; }
ImageMapNamesOnly::~ImageMapNamesOnly() { --gNamesOnly; }
bool ImageMapNamesOnly::Active() { return gNamesOnly > 0; }

std::string ResolvedPath(const std::string& stored, const std::string& folder) {
    namespace fs = std::filesystem;
    if (stored.empty() || folder.empty() || fs::path(stored).is_absolute()) return stored;
    return (fs::path(folder) / stored).lexically_normal().string();
}

std::string StoredPath(const std::string& path, const std::string& folder) {
    namespace fs = std::filesystem;
    if (path.empty() || folder.empty()) return path;
    std::error_code fileError, baseError;
    fs::path file = fs::absolute(path, fileError).lexically_normal();
    fs::path base = fs::absolute(folder, baseError).lexically_normal();
    if (fileError || baseError) return path;
    fs::path rel = file.lexically_relative(base);
    if (rel.empty() || *rel.begin() == "..") return file.string();
    return rel.generic_string();
}

namespace {

/// Wraps a whole pixel coordinate (any finite size) into 0..n-1.
int WrapIndex(double i, int n) {
    double m = i - n * std::floor(i / n);
    int k = static_cast<int>(m);
    return k < 0 ? 0 : (k >= n ? n - 1 : k);
}
}  // namespace

BitmapTex::BitmapTex() : sampler_(new Sampler(this)) {
    (void)gRegistered;
    ReplaceReference(0, GetNewDefaultUVGen());
}

BitmapTex::~BitmapTex() { delete sampler_; }

RefTargetHandle BitmapTex::GetReference(int i) { return i == 0 ? uvGen_ : nullptr; }

void BitmapTex::SetReference(int i, RefTargetHandle t) {
    if (i == 0) uvGen_ = dynamic_cast<UVGen*>(t);
}

RefResult BitmapTex::NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) {
    return REF_SUCCEED;
}

bool BitmapTex::SetFileName(const std::string& path, std::string& error) {
    FloatImage img;
    int bits = 0;
    if (!ReadImage(path, img, bits, error)) return false;
    path_ = path;
    width_ = img.width;
    height_ = img.height;
    rgba_ = std::make_shared<const std::vector<float>>(std::move(img.rgba));
    pixels_ = rgba_->data();
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return true;
}

RefTargetHandle BitmapTex::Clone(RemapDir& remap) {
    auto* copy = new BitmapTex();
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(0, remap.CloneRef(uvGen_));
    copy->path_ = path_;
    copy->width_ = width_;
    copy->height_ = height_;
    copy->rgba_ = rgba_;
    copy->pixels_ = pixels_;
    remap.AddEntry(this, copy);
    return copy;
}

IOResult BitmapTex::Save(ISave* isave) {
    isave->BeginChunk(MTLBASE_CHUNK);
    MtlBase::Save(isave);
    isave->EndChunk();
    isave->BeginChunk(kPathChunk);
    WriteString(isave, StoredPath(path_, isave->SceneFolder()));
    isave->EndChunk();
    return IO_OK;
}

IOResult BitmapTex::Load(ILoad* iload) {
    IOResult res;
    while ((res = iload->OpenChunk()) == IO_OK) {
        if (iload->CurChunkID() == MTLBASE_CHUNK) {
            if (MtlBase::Load(iload) != IO_OK) return IO_ERROR;
        } else if (iload->CurChunkID() == kPathChunk) {
            std::string stored;
            if (ReadString(iload, stored) != IO_OK) return IO_ERROR;
            // A missing image leaves the map empty (black, alpha 0); the scene still loads,
            // and the user is told which file is missing.
            std::string path = ResolvedPath(stored, iload->SceneFolder());
            std::string error;
            if (ImageMapNamesOnly::Active()) {
                path_ = path;  // the name alone, for the host to check
            } else if (!path.empty() && !SetFileName(path, error)) {
                path_ = path;
                iload->AddWarning("image map '" + stored + "' not loaded: " + error);
            }
        }
        iload->CloseChunk();
    }
    return res == IO_END ? IO_OK : res;
}

void BitmapTex::Update(TimeValue t, Interval& valid) {
    if (uvGen_) uvGen_->Update(t, valid);
}

void BitmapTex::Reset() {
    if (uvGen_) uvGen_->Reset();
}

Interval BitmapTex::Validity(TimeValue t) {
    Interval v = FOREVER;
    Update(t, v);
    return v;
}

AColor BitmapTex::Sample(float u, float v) const noexcept {
    if (width_ <= 0 || height_ <= 0 || !std::isfinite(u) || !std::isfinite(v)) {
        return AColor(0, 0, 0, 0);
    }
    // Pixel centres at (i + 0.5) / size; v = 1 at the top line.
    double x = Widen(u) * width_ - 0.5;
    double y = (1.0 - Widen(v)) * height_ - 0.5;
    double fx = std::floor(x), fy = std::floor(y);
    double tx = x - fx, ty = y - fy;
    int x0 = WrapIndex(fx, width_), x1 = WrapIndex(fx + 1.0, width_);
    int y0 = WrapIndex(fy, height_), y1 = WrapIndex(fy + 1.0, height_);
    auto at = [this](int px, int py, int c) {
        return Widen(pixels_[(static_cast<size_t>(py) * static_cast<size_t>(width_) +
                              static_cast<size_t>(px)) *
                                 4 +
                             static_cast<size_t>(c)]);
    };
    float out[4];
    for (int c = 0; c < 4; ++c) {
        double top = at(x0, y0, c) + tx * (at(x1, y0, c) - at(x0, y0, c));
        double bottom = at(x0, y1, c) + tx * (at(x1, y1, c) - at(x0, y1, c));
        out[c] = static_cast<float>(top + ty * (bottom - top));
    }
    return AColor(out[0], out[1], out[2], out[3]);
}

AColor BitmapTex::EvalColor(ShadeContext& sc) {
    return uvGen_ ? uvGen_->EvalUVMap(sc, sampler_, TRUE) : AColor();
}

float BitmapTex::EvalMono(ShadeContext& sc) {
    return uvGen_ ? uvGen_->EvalUVMapMono(sc, sampler_, TRUE) : 0.0f;
}

Point3 BitmapTex::EvalNormalPerturb(ShadeContext& sc) {
    if (!uvGen_) return Point3();
    Point3 dPdu, dPdv;
    uvGen_->GetBumpDP(sc, dPdu, dPdv);
    Point2 d = uvGen_->EvalDeriv(sc, sampler_, TRUE);
    return dPdu * d.x + dPdv * d.y;
}

}  // namespace loom
