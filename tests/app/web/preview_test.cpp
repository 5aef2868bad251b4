// The editor's previews drawn off the window thread: a copy draws what the texture would,
// a newer change cancels the render in flight and its picture never shows, a stuck render
// holds up no request, and a map that cannot be copied is still drawn.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/web/preview_renderer.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/refs.h"
#include "foundation/host/stdmaps/bitmap_tex.h"
#include "nimbra/resource.h"
#include "tests/support/const_map.h"
#include "tests/support/editor_fixture.h"

namespace {

using loom::web::PreviewJob;
using loom::web::PreviewPicture;
using loom::web::PreviewRenderer;
using nlohmann::json;
using namespace std::chrono_literals;

/// A door the test opens: maps that reach it wait there until then.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    int waiting = 0;  ///< evaluations that reached the closed gate

    void Pass() {
        std::unique_lock<std::mutex> lock(mutex);
        ++waiting;
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        cv.notify_all();
    }
    /// Waits until some evaluation is held at the gate.
    bool Reached(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, timeout, [&] { return waiting > 0; });
    }
};

/// A constant map whose evaluations first pass `gate`; counts the maps alive, copies
/// included, so that a test sees every copy deleted.
class GateMap final : public Texmap {
  public:
    GateMap(Gate& gate, std::atomic<int>& alive) : gate_(gate), alive_(alive) { ++alive_; }
    ~GateMap() override { --alive_; }
    Class_ID ClassID() override { return Class_ID(0x7E570011, 1); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext&) override {
        gate_.Pass();
        return AColor(1, 0, 0, 1);
    }
    float EvalMono(ShadeContext&) override {
        gate_.Pass();
        return 1.0f;
    }
    Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(); }
    void Update(TimeValue, Interval&) override {}
    void Reset() override {}
    Interval Validity(TimeValue) override { return FOREVER; }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
    RefTargetHandle Clone(RemapDir& remap) override {
        auto* c = new GateMap(gate_, alive_);
        remap.AddEntry(this, c);
        return c;
    }

  private:
    Gate& gate_;
    std::atomic<int>& alive_;
};

/// A map that answers no copy, as a plug-in written without one may.
class UncopiedMap final : public Texmap {
  public:
    Class_ID ClassID() override { return Class_ID(0x7E570012, 1); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext&) override { return AColor(0, 0, 1, 1); }
    float EvalMono(ShadeContext&) override { return 0.5f; }
    Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(); }
    void Update(TimeValue, Interval&) override {}
    void Reset() override {}
    Interval Validity(TimeValue) override { return FOREVER; }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
};

PreviewJob Job(Texmap* original, std::uint64_t generation, int size = 32) {
    PreviewJob job;
    job.texture = loom::web::CopyTextureTree(original);
    job.size = size;
    job.generation = generation;
    return job;
}

/// The BMP's width, from its header.
int BmpWidth(const std::vector<std::uint8_t>& bmp) {
    return bmp.size() < 22 ? -1 : bmp[18] | bmp[19] << 8 | bmp[20] << 16 | bmp[21] << 24;
}

// ---- The renderer alone --------------------------------------------------------------------

TEST(PreviewRenderer, ANewerJobCancelsTheRenderInFlightWhosePicturesNeverShow) {
    Gate gate;
    std::atomic<int> alive{0};
    auto* stuck = new GateMap(gate, alive);
    Gate open;
    open.Open();
    auto* red = new GateMap(open, alive);
    std::vector<std::uint64_t> shown;  // every picture published, by generation
    {
        PreviewRenderer previews(2);
        std::atomic<bool> watching{true};
        std::thread watcher([&] {
            // At least one look, however late the thread starts: the latest picture is
            // there to see even after the test has stopped watching.
            std::uint64_t seen = 0;
            do {
                const PreviewPicture p = previews.WaitNewer(seen, 20ms);
                if (p.number > seen) {
                    seen = p.number;
                    shown.push_back(p.generation);
                }
            } while (watching);
        });
        previews.Submit(Job(stuck, 1));
        ASSERT_TRUE(gate.Reached(10s)) << "the first job never began";
        previews.Submit(Job(red, 2));
        gate.Open();
        const std::optional<PreviewPicture> done = previews.WaitFinal(10s);
        watching = false;
        watcher.join();
        ASSERT_TRUE(done.has_value()) << previews.LastError();
        EXPECT_EQ(done->generation, 2u);
        // Pictures are numbered as published: the second job's coarse one and full one
        // are all there ever were, whatever the watcher happened to see.
        EXPECT_EQ(done->number, 2u);
        EXPECT_GE(previews.PassesCancelled(), 1);
        ASSERT_NE(done->sample, nullptr);
        EXPECT_EQ(BmpWidth(*done->sample), 32);
    }
    for (std::uint64_t g : shown) EXPECT_EQ(g, 2u) << "a cancelled render's picture showed";
    EXPECT_FALSE(shown.empty());
    // Both copies were deleted by the renderer; only the originals are left.
    EXPECT_EQ(alive.load(), 2);
    DeleteUnreferenced(stuck);
    DeleteUnreferenced(red);
    EXPECT_EQ(alive.load(), 0);
}

TEST(PreviewRenderer, JobsWaitingBehindABusyRendererAreReplacedByTheLatest) {
    Gate gate;
    std::atomic<int> alive{0};
    auto* stuck = new GateMap(gate, alive);
    {
        PreviewRenderer previews(1);
        previews.Submit(Job(stuck, 1));
        ASSERT_TRUE(gate.Reached(10s));
        for (std::uint64_t g = 2; g <= 20; ++g) previews.Submit(Job(stuck, g));
        gate.Open();
        const std::optional<PreviewPicture> done = previews.WaitFinal(10s);
        ASSERT_TRUE(done.has_value()) << previews.LastError();
        EXPECT_EQ(done->generation, 20u);
        // The first job's pass and the last job's two: nothing in between was drawn.
        EXPECT_EQ(previews.PassesStarted(), 3);
    }
    EXPECT_EQ(alive.load(), 1);
    DeleteUnreferenced(stuck);
}

TEST(PreviewRenderer, AMapWithoutACopyLeavesTheTreeUncopied) {
    auto* owner = new loomtest::ConstMap(AColor(0, 1, 0, 1), 0.0f);
    auto* uncopied = new UncopiedMap();
    EXPECT_NE(loom::web::CopyTextureTree(owner), nullptr);
    EXPECT_EQ(loom::web::CopyTextureTree(uncopied), nullptr);
    DeleteUnreferenced(owner);
    DeleteUnreferenced(uncopied);
}

// ---- Through the editor ----------------------------------------------------------------------

class Previews : public loomtest::EditorFixture {
  protected:
    Previews() : EditorFixture("loom_previews_") {}

    json Post(const std::string& path, const json& body = json::object()) {
        loom::web::ApiResponse r = api->Handle({"POST", path, {}, body.dump()});
        EXPECT_EQ(r.status, 200) << path << ": " << r.body;
        return json::parse(r.body);
    }
    static json Page(const json& state) {
        json page = nullptr;
        for (const json& w : state["windows"]) {
            if (w["rollup"]) page = w;
        }
        return page;
    }
    /// The full picture of the latest change, as the page would fetch it.
    std::string FinalSample() {
        loom::web::ApiResponse r = api->Handle({"GET", "/api/sample.bmp", {{"final", "1"}}, ""});
        EXPECT_EQ(r.status, 200) << r.body;
        return r.body;
    }
    PreviewRenderer& Renderer() { return session->Materials().Previews(); }
};

TEST_F(Previews, ACopyDrawsThePictureTheTextureItselfDraws) {
    // A plain texture of each class, one with an image map, on the sphere and the plane.
    const std::filesystem::path image = root / "map.png";
#if !defined(__SANITIZE_THREAD__)
    {
        loom::FloatImage img;
        img.width = 5;
        img.height = 3;
        for (int i = 0; i < img.width * img.height; ++i) {
            img.rgba.insert(img.rgba.end(), {i / 15.0f, 1.0f - i / 15.0f, 0.25f, 1.0f});
        }
        std::string error;
        ASSERT_TRUE(loom::WriteImage(image.string(), img, 8, error)) << error;
    }
#endif
    std::vector<std::string> classes = {"nimbra", "fervix", "lumidot", "voltrane"};
#if !defined(__SANITIZE_THREAD__)
    // The image library's own threads are not built for the thread checker.
    classes.push_back("nimbra+image");
#endif
    for (const std::string& cls : classes) {
        for (const bool sphere : {true, false}) {
            SCOPED_TRACE(cls + (sphere ? " sphere" : " plane"));
            const std::string name = cls;
            Post("/api/open", {{"class", name.substr(0, name.find('+'))}});
            if (name.find("+image") != std::string::npos) {
                auto* bm = new loom::BitmapTex();
                std::string error;
                ASSERT_TRUE(bm->SetFileName(image.string(), error)) << error;
                session->Current()->SetSubTexmap(0, bm);
            }
            Post("/api/sample", {{"sphere", sphere}});
            const std::string drawn = FinalSample();

            PreviewJob settings;
            settings.size = session->Materials().SampleSize();
            settings.sphere = sphere;
            settings.time = session->Editor().GetTime();
            PreviewPicture direct;
            const std::atomic<bool> never{false};
            ASSERT_TRUE(loom::web::DrawPass(session->Current(), settings,
                                            loom::web::PassKind::kWhole, 1, never, direct));
            ASSERT_NE(direct.sample, nullptr);
            EXPECT_TRUE(drawn == std::string(direct.sample->begin(), direct.sample->end()))
                << "the copy's picture differs from the texture's own";
        }
    }
}

TEST_F(Previews, AStuckRenderHoldsUpNoRequest) {
    Gate gate;
    std::atomic<int> alive{0};
    json s = Post("/api/open", {{"class", "nimbra"}});
    auto* stuck = new GateMap(gate, alive);
    session->Current()->SetSubTexmap(0, stuck);
    session->Materials().SampleChanged();
    s = Post("/api/type", {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "3"}});
    ASSERT_TRUE(gate.Reached(10s)) << "the render never reached the map";
    // What the opening drew may have been published before the map went in; nothing after.
    const std::uint64_t drawn = Renderer().Latest().number;

    // The render waits at the gate, and yet the editor answers: values, undo, time, state.
    s = Post("/api/type", {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "2"}});
    Post("/api/undo");
    Post("/api/time", {{"frame", 5}});
    s = Post("/api/type", {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "4"}});
    EXPECT_FALSE(Renderer().WaitFinal(0ms).has_value()) << "a picture came through the gate";
    const loom::web::ApiResponse waiting =
        api->Handle({"GET", "/api/preview", {{"after", "0"}, {"wait", "0"}}, ""});
    EXPECT_EQ(waiting.status, 200);
    EXPECT_EQ(json::parse(waiting.body)["picture"], drawn) << "a picture was drawn meanwhile";

    gate.Open();
    const std::optional<PreviewPicture> done = Renderer().WaitFinal(10s);
    ASSERT_TRUE(done.has_value()) << Renderer().LastError();
    EXPECT_EQ(done->generation, s["sample"]["version"].get<std::uint64_t>());
    // The copies of the stuck renders are gone; the map in the scene (and its undo
    // record's hold on it) is all that is left.
    api.reset();
    session.reset();
    theHold.Clear();
    EXPECT_EQ(alive.load(), 0);
}

TEST_F(Previews, AMapThatCannotBeCopiedIsDrawnOnTheWindowThread) {
    Post("/api/open", {{"class", "nimbra"}});
    auto* uncopied = new UncopiedMap();
    session->Current()->SetSubTexmap(0, uncopied);
    session->Materials().SampleChanged();
    const json s = Post("/api/sample", {{"sphere", false}});
    // Drawn before the request answered: the full picture of that change is there now.
    const std::optional<PreviewPicture> now = Renderer().WaitFinal(0ms);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(now->generation, s["sample"]["version"].get<std::uint64_t>());
}

TEST_F(Previews, AHighDensityScreenGetsASampleTwiceAsWide) {
    Post("/api/open", {{"class", "lumidot"}});
    std::string bmp = FinalSample();
    EXPECT_EQ(BmpWidth({bmp.begin(), bmp.end()}), 128);
    const json s = Post("/api/sample", {{"density", 2}});
    EXPECT_EQ(s["sample"]["size"], 256);
    bmp = FinalSample();
    EXPECT_EQ(BmpWidth({bmp.begin(), bmp.end()}), 256);
    const loom::web::ApiResponse r = api->Handle({"POST", "/api/sample", {}, "{\"density\": 0.1}"});
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.body.find("0.5..8"), std::string::npos) << r.body;
    EXPECT_EQ(api->Handle({"POST", "/api/sample", {}, "{}"}).status, 400);
}

}  // namespace
