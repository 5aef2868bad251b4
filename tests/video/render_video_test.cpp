// loomhost render with a video file as its output: the frames are the pictures a frame
// sequence would hold, at the rate asked for, and what cannot go into one video is refused
// before anything is rendered.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "app/core/video/video_input.h"
#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"

namespace {

using loom::Image16;

using RenderVideo = loomtest::CliFixture;

TEST_F(RenderVideo, FramesAreThePicturesOfTheSequenceAtBothDepths) {
    const std::string texture =
        "nimbra --sphere --size 24x16 --key \"U Shift@0=0\" --key \"U Shift@5=0.5\"";
    for (const int bits : {8, 16}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const std::string b = " --bits " + std::to_string(bits);
        const std::string clip = "clip" + std::to_string(bits) + ".mkv";
        loomtest::CliResult r =
            Run("render " + texture + b + " --frames 2-5 --fps 24 --codec ffv1 -o " + Path(clip));
        ASSERT_EQ(r.status, 0) << r.err;
        r = Run("render " + texture + b + " --frames 2-5 -o " + Path("f.png"));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<Image16> frames = videotest::DecodeFrames(Path(clip));
        ASSERT_EQ(frames.size(), 4u);
        for (int f = 2; f <= 5; ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            char name[32];
            std::snprintf(name, sizeof name, "f_%04d.png", f);
            Image16 still;
            std::string err;
            ASSERT_TRUE(loom::ReadImage16(Path(name), still, err)) << err;
            const Image16& got = frames[static_cast<size_t>(f - 2)];
            ASSERT_EQ(got.width, still.width);
            ASSERT_EQ(got.height, still.height);
            size_t differing = 0;
            for (size_t i = 0; i < got.pixels.size(); ++i) {
                const BMM_Color_64 a = got.pixels[i], e = still.pixels[i];
                differing += a.r != e.r || a.g != e.g || a.b != e.b;
            }
            EXPECT_EQ(differing, 0u) << "pixels differ from the picture file's";
        }
        const videotest::VideoFacts facts = videotest::ReadVideoFacts(Path(clip));
        EXPECT_EQ(facts.frames, 4);
        EXPECT_EQ(facts.pixelFormat, bits == 8 ? "bgr0" : "gbrp16le");
        loom::VideoInput in;
        std::string err;
        ASSERT_TRUE(in.Open(Path(clip), err)) << err;
        EXPECT_EQ(in.Info().frameRateNum, 24);
        EXPECT_EQ(in.Info().frameRateDen, 1);
    }
}

TEST_F(RenderVideo, WhatOneVideoCannotHoldIsRefusedBeforeRendering) {
    struct Case {
        const char* args;
        const char* says;
    };
    const Case cases[] = {
        {"render nimbra -o OUT", "a video needs --frames A-B"},
        {"render nimbra --frames 0-3 --shard 0/2 -o OUT", "write image sequences"},
        {"render nimbra --frames 0-3 --resume -o OUT", "write image sequences"},
        {"render nimbra --frames 0-3 --output color,mono -o OUT", "colour output only"},
        {"render nimbra --frames 0-3 --fps 0 -o OUT", "--fps '0'"},
        {"render nimbra --frames 0-3 --fps 30/x -o OUT", "--fps '30/x'"},
        {"render nimbra --frames 0-3 --codec mpeg9 -o OUT", "mpeg9"},
        {"render nosuchtexture --frames 0-3 -o OUT", "nosuchtexture"},
    };
    const std::string out = Path("clip.mp4");
    {
        std::ofstream older(out);
        older << "older";
    }
    for (const Case& c : cases) {
        std::string args = c.args;
        args.replace(args.find("OUT"), 3, out);
        SCOPED_TRACE(args);
        const loomtest::CliResult r = Run(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    std::ifstream kept(out);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "older") << "a refused render touched the older file";
    for (const auto& entry : std::filesystem::directory_iterator(Path(""))) {
        EXPECT_EQ(entry.path().filename().string().find(".loomtmp"), std::string::npos)
            << "a temporary file was left: " << entry.path();
    }
}

}  // namespace
