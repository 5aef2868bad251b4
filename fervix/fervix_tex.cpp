#include "fervix/fervix_tex.h"

int FervixTex::FixLegacyParams() {
    IParamBlock* pb = ParamBlock();
    if (!pb) return 0;
    auto bothZero = [pb](int first, int second) {
        Interval scratch = FOREVER;
        int a = 0;
        int b = 0;
        pb->GetValue(first, 0, a, scratch);
        pb->GetValue(second, 0, b, scratch);
        return a == 0 && b == 0;
    };
    int changed = 0;
    constexpr int kOverlayPairs[][2] = {{kFervixPlasmaAdd, kFervixPlasmaSub},
                                        {kFervixFractalAdd, kFervixFractalSub},
                                        {kFervixTurbulenceAdd, kFervixTurbulenceSub}};
    for (const auto& pair : kOverlayPairs) {
        if (bothZero(pair[0], pair[1])) {
            SetIntParam(pair[0], 1, 0);
            changed = 1;
        }
    }
    if (bothZero(kFervixPositive, kFervixNegative)) {
        SetPositiveBlend(1, 0);
        SetFractalScale(kFervixRepairFractalScale, 0);
        changed = 1;
    }
    return changed;
}
