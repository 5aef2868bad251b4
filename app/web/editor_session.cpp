#include "app/web/editor_session.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/core/model/scene_load.h"
#include "app/web/bmp.h"
#include "foundation/host/base/animate.h"
#include "foundation/host/base/text.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/stdmaps/bitmap_tex.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/window_tree.h"

namespace loom::web {
namespace {

/// The face colour transparent button images are laid over, as the page draws buttons.
constexpr COLORREF kButtonFace = RGB(0xd4, 0xd0, 0xc8);

void CollectImages(const WindowNode& n, std::vector<HBITMAP>& bitmaps,
                   std::vector<HIMAGELIST>& lists) {
    if (n.image && n.imageLive) bitmaps.push_back(n.image);
    if (n.custButton && n.custButton->images) lists.push_back(n.custButton->images);
    for (const WindowNode& c : n.children) CollectImages(c, bitmaps, lists);
}

}  // namespace

EditorSession::EditorSession(PluginLoader& loader, std::filesystem::path root)
    : root_(std::move(root)),
      folder_(root_),
      scene_(std::make_unique<SceneHolder>()),
      materials_(std::make_unique<MaterialSession>(loader, folder_, *scene_)),
      videoPost_(std::make_unique<VideoPostSession>(loader, *scene_)) {}

EditorSession::~EditorSession() {
    materials_.reset();
    PumpMessages();
    scene_.reset();
}

EditorSession::RootFiles EditorSession::Files() const {
    static const char* const kImageExtensions[] = {".png", ".jpg", ".jpeg", ".tif", ".tiff",
                                                   ".exr", ".bmp", ".tga",  ".hdr"};
    RootFiles files;
    std::error_code ec;
    namespace fs = std::filesystem;
    fs::recursive_directory_iterator it(root_, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path name = it->path().filename();
        if (!name.empty() && name.native()[0] == '.') {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory(ec)) {
            if (it.depth() >= 2) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(ec) || !folder_.Holds(it->path())) continue;
        const std::string ext = Lower(name.extension().string());
        const std::string relative = it->path().lexically_relative(root_).generic_string();
        if (ext == ".loom") {
            if (files.scenes.size() < kMaxListedFiles) files.scenes.push_back(relative);
        } else if (std::find(std::begin(kImageExtensions), std::end(kImageExtensions), ext) !=
                   std::end(kImageExtensions)) {
            if (files.images.size() < kMaxListedFiles) files.images.push_back(relative);
        }
    }
    std::sort(files.images.begin(), files.images.end());
    std::sort(files.scenes.begin(), files.scenes.end());
    return files;
}

void EditorSession::SaveScene(const std::string& path) {
    std::string err;
    if (!SaveSceneFile(folder_.FileToWrite(path).string(), *scene_, err)) throw ApiError(409, err);
}

std::vector<std::string> EditorSession::LoadScene(const std::string& path) {
    if (videoPost_->DialogOpen()) throw ApiError(409, "close the filter's dialog first");
    auto loaded = std::make_unique<SceneHolder>();
    SceneLoadReport report;
    std::string err;
    const std::filesystem::path file = folder_.FileToRead(path);
    if (!RootFolder::IsSceneFile(file)) throw ApiError(400, path + " is not a scene file");
    // Every image the scene names is checked before any is opened: a first reading keeps
    // the names only.
    {
        SceneHolder names;
        const ImageMapNamesOnly namesOnly;
        if (!LoadSceneFile(file.string(), names, report, err)) throw ApiError(409, err);
        folder_.CheckSceneImages(names, file);
    }
    if (!LoadSceneFile(file.string(), *loaded, report, err)) throw ApiError(409, err);
    folder_.CheckSceneImages(*loaded, file);  // the file may have changed in between
    std::vector<std::string> notes = SceneLoadNotes(path, report);
    materials_->Close();
    PumpMessages();
    scene_ = std::move(loaded);
    materials_->UseScene(*scene_);
    theHold.Clear();  // the old scene's changes cannot be undone in the new one
    videoPost_->UseScene(*scene_);
    materials_->OpenFirstEntry();
    return notes;
}

std::vector<EditorWindow> EditorSession::Windows() const {
    std::vector<EditorWindow> out;
    for (const MaterialEditor::Page& p : materials_->Editor().Pages()) {
        if (IsWindow(p.hwnd)) out.push_back({p.hwnd, Utf8FromCp1252(p.title), true});
    }
    for (HWND h : TopLevelWindows()) {
        if (!IsWindowVisible(h)) continue;
        if (std::any_of(out.begin(), out.end(), [h](const EditorWindow& w) { return w.hwnd == h; }))
            continue;
        WindowNode n = DescribeWindowTree(h);
        if (n.className != "#32770") continue;  // only dialogs; not the hidden host windows
        out.push_back({h, Cp1252ToUtf8(n.text), false});
    }
    return out;
}

HWND EditorSession::FindWindow(std::uint64_t handle) const {
    for (const EditorWindow& w : Windows()) {
        if (reinterpret_cast<std::uintptr_t>(w.hwnd) == handle) return w.hwnd;
    }
    throw ApiError(404, "no such window");
}

void EditorSession::SetAutoKey(bool on) {
    if (on) {
        AnimateOn();
    } else {
        AnimateOff();
    }
}

bool EditorSession::AutoKey() const { return Animating() != 0; }

void EditorSession::Undo() {
    if (!theHold.Undo()) throw ApiError(409, "nothing to undo");
    PumpMessages();  // the panel shows the restored values at its next paint
    materials_->SampleChanged();
}

void EditorSession::Redo() {
    if (!theHold.Redo()) throw ApiError(409, "nothing to redo");
    PumpMessages();
    materials_->SampleChanged();
}

void EditorSession::TypeValue(HWND dlg, int id, const std::string& text) {
    std::optional<SpinnerInfo> spinner;
    for (const WindowNode& c : DescribeWindowTree(dlg).children) {
        if (c.spinner && c.spinner->editId == id) spinner = c.spinner;
    }
    if (spinner) {
        const SpinnerInfo& s = *spinner;
        auto shown = [](double v) {
            char buf[48];
            const bool whole = v == std::floor(v) && std::fabs(v) < 1e15;
            std::snprintf(buf, sizeof buf, whole ? "%.0f" : "%.7g", v);
            return std::string(buf);
        };
        const std::string range =
            shown(static_cast<double>(s.min)) + " to " + shown(static_cast<double>(s.max));
        const char* begin = text.c_str();
        while (std::isspace(static_cast<unsigned char>(*begin))) ++begin;
        char* end = nullptr;
        const double v = std::strtod(begin, &end);
        while (end && std::isspace(static_cast<unsigned char>(*end))) ++end;
        // The text as the message quotes it: short, whatever was typed.
        const std::string quoted = text.size() > 40 ? text.substr(0, 40) + "..." : text;
        if (end == begin || *end != '\0' || !std::isfinite(v)) {
            throw ApiError(409,
                           "\"" + quoted + "\" is not a number; the allowed range is " + range);
        }
        if (v < static_cast<double>(s.min) || v > static_cast<double>(s.max)) {
            throw ApiError(409, quoted + " is out of range; the allowed range is " + range);
        }
    }
    if (!interact::TypeValue(dlg, id, text)) throw ApiError(409, "the value was refused");
}

std::vector<std::uint8_t> EditorSession::BitmapImage(std::uint64_t handle) const {
    for (const EditorWindow& w : Windows()) {
        std::vector<HBITMAP> bitmaps;
        std::vector<HIMAGELIST> lists;
        CollectImages(DescribeWindowTree(w.hwnd), bitmaps, lists);
        for (HBITMAP b : bitmaps) {
            BitmapPixels px;
            if (reinterpret_cast<std::uintptr_t>(b) == handle && ReadBitmap(b, &px)) {
                return EncodeBmp(px, kButtonFace);
            }
        }
    }
    throw ApiError(404, "no window shows that picture");
}

std::vector<std::uint8_t> EditorSession::ImageListImage(std::uint64_t handle, int index) const {
    for (const EditorWindow& w : Windows()) {
        std::vector<HBITMAP> bitmaps;
        std::vector<HIMAGELIST> lists;
        CollectImages(DescribeWindowTree(w.hwnd), bitmaps, lists);
        for (HIMAGELIST l : lists) {
            BitmapPixels px;
            if (reinterpret_cast<std::uintptr_t>(l) == handle && index >= 0 &&
                index < ImageList_GetImageCount(l) && ReadImageListImage(l, index, &px)) {
                return EncodeBmp(px, kButtonFace);
            }
        }
    }
    throw ApiError(404, "no window shows that image");
}

}  // namespace loom::web
