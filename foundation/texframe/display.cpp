// The bitmap that shows a texture in the viewports.
#include <algorithm>
#include <vector>

#include "foundation/texframe/tex_frame.h"

namespace loom {

void TexFrame::DiscardTexHandle() {
    if (texHandle_) {
        texHandle_->DeleteThis();
        texHandle_ = nullptr;
    }
}

void TexFrame::ActivateTexDisplay(BOOL onOff) {
    if (!onOff) DiscardTexHandle();
}

DWORD_PTR TexFrame::GetActiveTexHandle(TimeValue t, TexHandleMaker& maker) {
    if (texHandle_) return texHandle_->GetHandle();
    Interval scratch;
    scratch.SetEmpty();
    Update(t, scratch);
    Bitmap* bm = BuildDisplayBitmap(maker.Size());
    texHandle_ = maker.CreateHandle(bm, uvGen_ ? uvGen_->SymFlags() : 0);
    if (bm) bm->DeleteThis();
    return texHandle_ ? texHandle_->GetHandle() : 0;
}

Bitmap* TexFrame::BuildDisplayBitmap(int size) {
    if (size <= 0) return nullptr;
    BitmapInfo bi;
    bi.SetName(info_.tempBitmapName);
    bi.SetWidth(size);
    bi.SetHeight(size);
    bi.SetType(BMM_TRUE_32);
    Bitmap* bm = TheManager->Create(&bi);
    if (!bm) return nullptr;
    std::vector<BMM_Color_64> line(static_cast<size_t>(size));
    const float d = 1.0f / static_cast<float>(size);
    float v = 1.0f - 0.5f * d;
    float us[kTexBatchMax], vs[kTexBatchMax];
    AColor colors[kTexBatchMax];
    for (int y = 0; y < size; ++y) {
        float u = 0.0f;
        for (int first = 0; first < size; first += kTexBatchMax) {
            const int n = std::min(kTexBatchMax, size - first);
            for (int i = 0; i < n; ++i) {
                us[i] = u;
                vs[i] = v;
                u += d;
            }
            PatternPreviewBatch(us, vs, n, colors);
            for (int i = 0; i < n; ++i) {
                const AColor& c = colors[i];
                BMM_Color_64& px = line[static_cast<size_t>(first + i)];
                // Truncation toward zero of a channel already clamped to 0..1.
                px.r = static_cast<WORD>(static_cast<double>(ClampUnit(c.r)) * 65535.0);
                px.g = static_cast<WORD>(static_cast<double>(ClampUnit(c.g)) * 65535.0);
                px.b = static_cast<WORD>(static_cast<double>(ClampUnit(c.b)) * 65535.0);
                px.a = 0xFFFF;
            }
        }
        bm->PutPixels(0, y, size, line.data());
        v -= d;
    }
    return bm;
}

}  // namespace loom
