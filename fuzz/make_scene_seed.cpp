// Writes a small valid scene (parameter block with keys, UV generator) as a fuzz seed.
#include <cstdio>

#include "foundation/host/pblock.h"
#include "foundation/host/scene_io.h"
#include "foundation/host/uvgen.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const ParamBlockDescID rows[] = {{TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_RGBA, nullptr, TRUE, 1}};
    loom::SceneHolder scene;
    IParamBlock* pb = CreateParameterBlock(rows, 2, 3);
    pb->SetKey(0, 0, ParamValue{{1, 0, 0}});
    pb->SetKey(0, 160, ParamValue{{2, 0, 0}});
    scene.Add("block", pb);
    scene.Add("uv", GetNewDefaultUVGen());
    std::string err;
    if (!loom::SaveSceneFile(argv[1], scene, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    return 0;
}
