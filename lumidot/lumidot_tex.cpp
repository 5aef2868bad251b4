#include "lumidot/lumidot_tex.h"

int LumidotTex::FixLegacyParams() {
    IParamBlock* pb = ParamBlock();
    if (!pb) return 0;
    Interval scratch = FOREVER;
    int sine = 0;
    int cosine = 0;
    pb->GetValue(kLumidotVerticalSine, 0, sine, scratch);
    pb->GetValue(kLumidotVerticalCosine, 0, cosine, scratch);
    if (sine != 0 || cosine != 0) return 0;
    for (int row : kLumidotRepairOrder) {
        const loom::ParamRow& r = Info().rows[static_cast<size_t>(row)];
        if (r.type == TYPE_INT) {
            SetIntParam(row, static_cast<int>(r.def.v[0]), 0);
        } else {
            SetParam(row, r.def, 0);
        }
    }
    return 1;
}
