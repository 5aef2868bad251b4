#pragma once
/// The host's built-in Bitmap texture: an image file sampled at (u, v) through its own
/// UV generator, with the image's alpha. Any sub-map slot can hold one.

#include <memory>
#include <string>
#include <vector>

#include "foundation/host/sdk/mtl.h"

class UVGen;

namespace loom {

inline constexpr Class_ID kBitmapTexClassId(0x4C4D0001, 0x00000001);

/// An image path as a scene file stores it -> the path to open: a relative path is taken
/// from `folder` (the scene file's folder); an absolute one, or any with no folder, as is.
std::string ResolvedPath(const std::string& stored, const std::string& folder);
/// The path to store for an image map at `path` (relative to the working folder, or
/// absolute) in a scene file in `folder`: relative to the folder when the image is under
/// it, so that the two can move together; otherwise absolute. No folder: `path` as is.
std::string StoredPath(const std::string& path, const std::string& folder);

/// While one lives on a thread, image maps that scenes load on that thread keep their file
/// names only and open nothing, so that the host can check every name a scene gives before
/// any file is opened.
class ImageMapNamesOnly {
  public:
    ImageMapNamesOnly();
    ~ImageMapNamesOnly();
    ImageMapNamesOnly(const ImageMapNamesOnly&) = delete;
    ImageMapNamesOnly& operator=(const ImageMapNamesOnly&) = delete;
    /// Whether one lives on the calling thread.
    static bool Active();
};

class BitmapTex final : public Texmap {
  public:
    BitmapTex();
    ~BitmapTex() override;

    /// Reads the image; false with `error` (the texture keeps its previous image).
    bool SetFileName(const std::string& path, std::string& error);
    const std::string& FileName() const { return path_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    Class_ID ClassID() override { return kBitmapTexClassId; }
    void GetClassName(TSTR& s) override { s = "Bitmap"; }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int i) override;
    void SetReference(int i, RefTargetHandle t) override;
    int NumSubs() override { return 1; }
    Animatable* SubAnim(int i) override { return GetReference(i); }
    TSTR SubAnimName(int i) override { return i == 0 ? "Coordinates" : ""; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override;
    RefTargetHandle Clone(RemapDir& remap) override;
    IOResult Save(ISave* isave) override;
    IOResult Load(ILoad* iload) override;

    void Update(TimeValue t, Interval& valid) override;
    void Reset() override;
    Interval Validity(TimeValue t) override;
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }

    AColor EvalColor(ShadeContext& sc) override;
    float EvalMono(ShadeContext& sc) override;
    Point3 EvalNormalPerturb(ShadeContext& sc) override;

    /// Bilinear sample with wrapping; v = 1 is the image's top line.
    AColor Sample(float u, float v) const noexcept;

  private:
    class Sampler;
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    /// RGBA floats, top line first; never changed once read, so copies of the map share it.
    std::shared_ptr<const std::vector<float>> rgba_;
    const float* pixels_ = nullptr;  ///< rgba_'s data, for the sampler
    UVGen* uvGen_ = nullptr;
    Sampler* sampler_;
};

}  // namespace loom
