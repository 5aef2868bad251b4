#include "app/web/video_post_session.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/web/object_window.h"

namespace loom::web {
namespace {

constexpr const char* kClass = "LoomWebVideoPost";
constexpr UINT kShowSetup = WM_APP + 11;
constexpr UINT kShowAbout = WM_APP + 12;
/// Name of the video post entry the setup dialog's choices are kept under.
constexpr const char* kFilterEntry = "stereo";

}  // namespace

VideoPostSession::VideoPostSession(PluginLoader& loader, SceneHolder& scene) : scene_(&scene) {
    hwnd_ = CreateObjectWindow(kClass, Proc, this);
    for (const LoadedPlugin& p : loader.Plugins()) {
        for (ClassDesc* cd : p.classes) {
            if (cd->SuperClassID() != IMAGE_FILTER_CLASS_ID || filterClass_) continue;
            std::string err;
            filter_.reset(CreateImageFilter(cd, err));
            if (filter_) filterClass_ = cd;
        }
    }
}

VideoPostSession::~VideoPostSession() {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

void VideoPostSession::UseScene(SceneHolder& scene) {
    scene_ = &scene;
    if (!filter_) return;
    for (const FilterEntry& e : scene_->Filters()) {
        if (e.classId == filterClass_->ClassID()) {
            std::string err;
            LoadFilterConfiguration(*filter_, e.configuration, err);
            return;
        }
    }
}

std::string VideoPostSession::Settings() const {
    if (!filter_) return "";
    std::vector<std::uint8_t> bytes;
    std::string err;
    if (!SaveFilterConfiguration(*filter_, bytes, err) || bytes.size() != 12) return "";
    // Eye colours (0 red, 1 green, 2 blue) and the two compensations, little-endian.
    static const char* const kEyes[] = {"red", "green", "blue"};
    auto eye = [](std::uint8_t b) { return b < 3 ? kEyes[b] : "?"; };
    auto comp = [&](size_t at) {
        std::uint32_t u = static_cast<std::uint32_t>(bytes[at]) |
                          (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
                          (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
                          (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
        float f;
        static_assert(sizeof f == sizeof u);
        std::memcpy(&f, &u, sizeof f);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3g", static_cast<double>(f));
        return std::string(buf);
    };
    return std::string("left ") + eye(bytes[0]) + " " + comp(4) + ", right " + eye(bytes[1]) + " " +
           comp(8);
}

void VideoPostSession::ShowSetupLater() {
    if (!filter_) throw ApiError(404, "the stereo filter plug-in is not loaded");
    if (dialogBusy_) throw ApiError(409, "a filter dialog is already open");
    dialogBusy_ = true;
    if (deferrer_) {
        deferrer_([this] { RunSetup(); });
    } else {
        PostMessageA(hwnd_, kShowSetup, 0, 0);
    }
}

void VideoPostSession::ShowAboutLater() {
    if (!filter_) throw ApiError(404, "the stereo filter plug-in is not loaded");
    if (dialogBusy_) throw ApiError(409, "a filter dialog is already open");
    dialogBusy_ = true;
    if (deferrer_) {
        deferrer_([this] { RunAbout(); });
    } else {
        PostMessageA(hwnd_, kShowAbout, 0, 0);
    }
}

void VideoPostSession::RunSetup() {
    // Runs a modal loop: the requests that come meanwhile are served from inside it.
    const BOOL accepted = filter_->ShowControl(nullptr);
    lastSetup_ = accepted ? 1 : 0;
    if (accepted) {
        FilterEntry entry;
        entry.name = kFilterEntry;
        for (const FilterEntry& e : scene_->Filters()) {
            if (e.classId == filterClass_->ClassID()) entry.name = e.name;
        }
        entry.superClass = filterClass_->SuperClassID();
        entry.classId = filterClass_->ClassID();
        std::string err;
        if (SaveFilterConfiguration(*filter_, entry.configuration, err)) scene_->SetFilter(entry);
    }
    dialogBusy_ = false;
}

void VideoPostSession::RunAbout() {
    filter_->ShowAbout(nullptr);
    dialogBusy_ = false;
}

LRESULT CALLBACK VideoPostSession::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VideoPostSession*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == kShowSetup) {
        self->RunSetup();
        return 0;
    }
    if (self && msg == kShowAbout) {
        self->RunAbout();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace loom::web
