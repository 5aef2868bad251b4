#include "app/web/editor_session.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cli/texture_setup.h"
#include "app/render/renderer.h"
#include "app/scene/scene_load.h"
#include "app/web/bmp.h"
#include "app/web/object_window.h"
#include "foundation/host/animate.h"
#include "foundation/host/bitmap_tex.h"
#include "foundation/host/interact.h"
#include "foundation/host/undo.h"
#include "foundation/host/window_tree.h"

namespace loom::web {
namespace {

constexpr const char* kClass = "LoomWebEditorSession";
constexpr UINT kShowSetup = WM_APP + 11;
constexpr UINT kShowAbout = WM_APP + 12;
constexpr UINT kOpenSubMap = WM_APP + 13;
/// Deepest chain of sub-maps the editor follows (maps cannot hold themselves, so a chain
/// ends; this only bounds the work of following one).
constexpr size_t kMaxMapDepth = 64;
/// Side of the sample picture in pixels: small enough to redraw after every change.
constexpr int kSampleSize = 128;
/// The face colour transparent button images are laid over, as the page draws buttons.
constexpr COLORREF kButtonFace = RGB(0xd4, 0xd0, 0xc8);
/// Name of the video post entry the setup dialog's choices are kept under.
constexpr const char* kFilterEntry = "stereo";

std::string Stem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

void CollectImages(const WindowNode& n, std::vector<HBITMAP>& bitmaps,
                   std::vector<HIMAGELIST>& lists) {
    if (n.image && n.imageLive) bitmaps.push_back(n.image);
    if (n.custButton && n.custButton->images) lists.push_back(n.custButton->images);
    for (const WindowNode& c : n.children) CollectImages(c, bitmaps, lists);
}

}  // namespace

EditorSession::EditorSession(PluginLoader& loader, std::filesystem::path root)
    : loader_(loader),
      root_(std::move(root)),
      folder_(root_),
      scene_(std::make_unique<SceneHolder>()),
      editor_(std::make_unique<MaterialEditor>()) {
    hwnd_ = CreateObjectWindow(kClass, Proc, this);

    for (const LoadedPlugin& p : loader_.Plugins()) {
        for (ClassDesc* cd : p.classes) {
            if (cd->SuperClassID() == TEXMAP_CLASS_ID) {
                // The library's name finds the class when it is the library's only one.
                std::string name =
                    p.classes.size() == 1 ? Stem(p.path) : Utf8FromCp1252(cd->ClassName());
                classes_.push_back({name, Utf8FromCp1252(cd->ClassName())});
            } else if (cd->SuperClassID() == IMAGE_FILTER_CLASS_ID && !filterClass_) {
                std::string err;
                filter_.reset(CreateImageFilter(cd, err));
                if (filter_) filterClass_ = cd;
            }
        }
    }
    editor_->SetSampleRedraw([this] { SampleChanged(); });
    // The browser only takes note of the question; the page answers it (ChooseMap). A
    // slot that holds a map opens that map's panel instead, once the click is handled.
    editor_->SetMapBrowser([this](Texmap* owner, int slot) -> Texmap* {
        if (owner->GetSubTexmap(slot) && mapPath_.size() < kMaxMapDepth) {
            PostMessageA(hwnd_, kOpenSubMap, static_cast<WPARAM>(slot),
                         reinterpret_cast<LPARAM>(owner));
        } else {
            question_ = MapQuestion{owner, slot, owner->GetSubTexmapSlotName(slot)};
        }
        return nullptr;
    });
}

EditorSession::~EditorSession() {
    watcher_.DeleteAllRefsFromMe();
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    editor_.reset();
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
        std::string ext = name.extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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

RefResult EditorSession::PreviewWatcher::NotifyRefChanged(Interval, RefTargetHandle, PartID&,
                                                          RefMessage msg) {
    if (msg == REFMSG_CHANGE) session_.SampleChanged();
    return REF_SUCCEED;
}

bool EditorSession::OpenPanel(Texmap* tex) {
    editor_->Close();
    watcher_.DeleteAllRefsFromMe();
    if (!editor_->Open(tex)) return false;
    // Cannot fail: the watcher is nobody's target, so no loop can form.
    watcher_.ReplaceReference(0, tex);
    PumpMessages();
    SampleChanged();
    return true;
}

void EditorSession::Open(Texmap* tex, const std::string& entry) {
    question_.reset();
    entry_.clear();
    mapPath_.clear();
    if (!OpenPanel(tex)) throw ApiError(409, "this texture has no panel");
    entry_ = entry;
}

Texmap* EditorSession::EntryTexture() const {
    const int i = entry_.empty() ? -1 : scene_->Find(entry_);
    return i >= 0 ? dynamic_cast<Texmap*>(scene_->Object(i)) : nullptr;
}

Texmap* EditorSession::MapAt(size_t depth) const {
    Texmap* map = EntryTexture();
    for (size_t i = 0; map && i < depth && i < mapPath_.size(); ++i) {
        const int slot = mapPath_[i];
        map = slot >= 0 && slot < map->NumSubTexmaps() ? map->GetSubTexmap(slot) : nullptr;
    }
    return map;
}

void EditorSession::OpenSubMap(int slot) {
    Texmap* owner = editor_->Current();
    if (!owner) throw ApiError(409, "no texture is open");
    if (slot < 0 || slot >= owner->NumSubTexmaps()) {
        throw ApiError(404, "the open texture has no map slot " + std::to_string(slot));
    }
    Texmap* sub = owner->GetSubTexmap(slot);
    const std::string slotName = Cp1252ToUtf8(owner->GetSubTexmapSlotName(slot));
    if (!sub) throw ApiError(409, "the slot \"" + slotName + "\" holds no map");
    if (mapPath_.size() >= kMaxMapDepth) throw ApiError(409, "the maps are nested too deeply");
    question_.reset();
    if (!OpenPanel(sub)) {
        OpenPanel(owner);
        throw ApiError(409, "the map in \"" + slotName + "\" has no panel of its own");
    }
    mapPath_.push_back(slot);
}

void EditorSession::OpenParent(size_t depth) {
    if (depth >= mapPath_.size()) {
        throw ApiError(400, "the open map is " + std::to_string(mapPath_.size()) +
                                " steps below its texture; go back to fewer steps");
    }
    Texmap* map = MapAt(depth);
    if (!map) throw ApiError(409, "the texture that held this map is gone");
    question_.reset();
    mapPath_.resize(depth);
    if (!OpenPanel(map)) throw ApiError(409, "this texture has no panel");
}

std::vector<MapStep> EditorSession::MapPath() const {
    std::vector<MapStep> steps;
    Texmap* map = EntryTexture();
    for (int slot : mapPath_) {
        if (!map || slot < 0 || slot >= map->NumSubTexmaps()) break;
        Texmap* sub = map->GetSubTexmap(slot);
        steps.push_back({slot, Cp1252ToUtf8(map->GetSubTexmapSlotName(slot)),
                         sub ? Cp1252ToUtf8(sub->GetFullName()) : std::string()});
        map = sub;
    }
    return steps;
}

void EditorSession::AskReplaceMap() {
    if (mapPath_.empty()) throw ApiError(409, "the open texture is not a sub-map");
    const int slot = mapPath_.back();
    OpenParent(mapPath_.size() - 1);
    Texmap* owner = editor_->Current();
    question_ = MapQuestion{owner, slot, owner->GetSubTexmapSlotName(slot)};
}

void EditorSession::OnSubMapButton(Texmap* owner, int slot) {
    // The owner is compared, never dereferenced: it may be gone by now.
    if (owner != editor_->Current()) return;
    try {
        OpenSubMap(slot);
    } catch (const std::exception&) {
        // A map without a panel of its own (an image) can still be replaced.
        if (Texmap* cur = editor_->Current(); cur && slot < cur->NumSubTexmaps()) {
            question_ = MapQuestion{cur, slot, cur->GetSubTexmapSlotName(slot)};
        }
    }
}

void EditorSession::OpenClass(const std::string& name) {
    auto it = std::find_if(classes_.begin(), classes_.end(),
                           [&](const TextureClass& c) { return c.name == name; });
    if (it == classes_.end()) throw ApiError(404, "no texture class called '" + name + "'");
    Texmap* tex = nullptr;
    try {
        tex = CreateTexture(loader_, name);
    } catch (const std::exception& e) {
        throw ApiError(409, e.what());
    }
    std::string entry = name;
    for (int n = 2; scene_->Find(entry) >= 0; ++n) entry = name + " " + std::to_string(n);
    scene_->Add(entry, tex);
    Open(tex, entry);
}

void EditorSession::OpenEntry(const std::string& name) {
    int i = scene_->Find(name);
    auto* tex = i >= 0 ? dynamic_cast<Texmap*>(scene_->Object(i)) : nullptr;
    if (!tex) throw ApiError(404, "the scene has no texture called '" + name + "'");
    Open(tex, name);
}

std::vector<std::string> EditorSession::Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < scene_->Count(); ++i) {
        if (dynamic_cast<Texmap*>(scene_->Object(i))) out.push_back(scene_->Name(i));
    }
    return out;
}

void EditorSession::SaveScene(const std::string& path) {
    std::string err;
    if (!SaveSceneFile(folder_.FileToWrite(path).string(), *scene_, err)) throw ApiError(409, err);
}

std::vector<std::string> EditorSession::LoadScene(const std::string& path) {
    if (dialogBusy_) throw ApiError(409, "close the filter's dialog first");
    auto loaded = std::make_unique<SceneHolder>();
    SceneLoadReport report;
    std::string err;
    const std::filesystem::path file = folder_.FileToRead(path);
    if (!RootFolder::IsSceneFile(file)) throw ApiError(400, path + " is not a scene file");
    if (!LoadSceneFile(file.string(), *loaded, report, err)) throw ApiError(409, err);
    folder_.CheckSceneImages(*loaded, file);
    std::vector<std::string> notes = SceneLoadNotes(path, report);
    question_.reset();
    editor_->Close();
    watcher_.DeleteAllRefsFromMe();
    entry_.clear();
    mapPath_.clear();
    PumpMessages();
    scene_ = std::move(loaded);
    theHold.Clear();  // the old scene's changes cannot be undone in the new one
    ApplyFilterEntry();
    std::vector<std::string> entries = Entries();
    if (!entries.empty()) {
        OpenEntry(entries.front());
    } else {
        SampleChanged();
    }
    return notes;
}

void EditorSession::ApplyFilterEntry() {
    if (!filter_) return;
    for (const FilterEntry& e : scene_->Filters()) {
        if (e.classId == filterClass_->ClassID()) {
            std::string err;
            LoadFilterConfiguration(*filter_, e.configuration, err);
            return;
        }
    }
}

std::vector<EditorWindow> EditorSession::Windows() const {
    std::vector<EditorWindow> out;
    for (const MaterialEditor::Page& p : editor_->Pages()) {
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

void EditorSession::SetFrame(double frame) {
    if (!(frame >= 0.0 && frame <= kLastFrame)) {
        throw ApiError(400, "the frame must be 0.." + std::to_string(kLastFrame));
    }
    editor_->SetTime(FramesToTicks(frame));
    PumpMessages();
    SampleChanged();
}

double EditorSession::Frame() const {
    return static_cast<double>(editor_->GetTime()) / static_cast<double>(FramesToTicks(1.0));
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
    SampleChanged();
}

void EditorSession::Redo() {
    if (!theHold.Redo()) throw ApiError(409, "nothing to redo");
    PumpMessages();
    SampleChanged();
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

void EditorSession::ChooseMap(const std::string& kind, const std::string& value) {
    if (!question_) throw ApiError(409, "the map browser is not open");
    // The texture that asked may be gone: only the texture open now is filled.
    Texmap* owner = question_->owner;
    const int slot = question_->slot;
    if (owner != editor_->Current() || slot < 0 || slot >= owner->NumSubTexmaps()) {
        question_.reset();
        throw ApiError(409, "the texture that asked for a map is no longer open");
    }
    Texmap* sub = nullptr;
    if (kind == "class") {
        if (std::none_of(classes_.begin(), classes_.end(),
                         [&](const TextureClass& c) { return c.name == value; })) {
            throw ApiError(404, "no texture class called '" + value + "'");
        }
        try {
            sub = CreateTexture(loader_, value);
        } catch (const std::exception& e) {
            throw ApiError(409, e.what());
        }
    } else if (kind == "image") {
        std::filesystem::path file = folder_.FileToRead(value);
        auto* bm = new BitmapTex();
        std::string err;
        if (!bm->SetFileName(file.string(), err)) {
            DeleteUnreferenced(bm);
            throw ApiError(409, err);
        }
        sub = bm;
    } else if (kind != "none") {
        throw ApiError(400, "the map browser's choice is 'class', 'image' or 'none'");
    }
    owner->SetSubTexmap(slot, sub);
    if (sub && owner->GetSubTexmap(slot) != sub) {
        DeleteUnreferenced(sub);
        throw ApiError(409, "the map could not be assigned (a map cannot hold itself)");
    }
    question_.reset();
    PumpMessages();
    SampleChanged();
}

void EditorSession::CancelMap() { question_.reset(); }

void EditorSession::SampleChanged() {
    sampleDirty_ = true;
    ++sampleVersion_;
}

void EditorSession::SetSampleSphere(bool sphere) {
    if (sphere != sphere_) {
        sphere_ = sphere;
        SampleChanged();
    }
}

const std::vector<std::uint8_t>& EditorSession::SampleImage() {
    if (sampleDirty_) {
        sampleDirty_ = false;
        sample_.clear();
        viewport_.clear();
        if (Texmap* tex = editor_->Current()) {
            RenderOptions opt;
            opt.width = kSampleSize;
            opt.height = kSampleSize;
            opt.time = editor_->GetTime();
            opt.sphere = sphere_;
            RenderImages images;
            RenderTexture(tex, opt, images);
            sample_ = EncodeBmp(images.color);
            ++renders_;
            // The viewport bitmap is made again too: a change that came without a redraw
            // request (a slider, undo) leaves the texture's handle as it was.
            tex->ActivateTexDisplay(FALSE);
            DWORD_PTR handle = tex->GetActiveTexHandle(editor_->GetTime(), viewportMaker_);
            if (const Bitmap* bm = ViewportHandleBitmap(handle)) viewport_ = EncodeBmp(*bm);
        }
    }
    return sample_;
}

const std::vector<std::uint8_t>& EditorSession::ViewportImage() {
    SampleImage();
    return viewport_;
}

std::string EditorSession::FilterSettings() const {
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

void EditorSession::ShowSetupLater() {
    if (!filter_) throw ApiError(404, "the stereo filter plug-in is not loaded");
    if (dialogBusy_) throw ApiError(409, "a filter dialog is already open");
    dialogBusy_ = true;
    if (deferrer_) {
        deferrer_([this] { RunSetup(); });
    } else {
        PostMessageA(hwnd_, kShowSetup, 0, 0);
    }
}

void EditorSession::ShowAboutLater() {
    if (!filter_) throw ApiError(404, "the stereo filter plug-in is not loaded");
    if (dialogBusy_) throw ApiError(409, "a filter dialog is already open");
    dialogBusy_ = true;
    if (deferrer_) {
        deferrer_([this] { RunAbout(); });
    } else {
        PostMessageA(hwnd_, kShowAbout, 0, 0);
    }
}

void EditorSession::RunSetup() {
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

void EditorSession::RunAbout() {
    filter_->ShowAbout(nullptr);
    dialogBusy_ = false;
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

LRESULT CALLBACK EditorSession::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EditorSession*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == kShowSetup) {
        self->RunSetup();
        return 0;
    }
    if (self && msg == kOpenSubMap) {
        self->OnSubMapButton(reinterpret_cast<Texmap*>(lParam), static_cast<int>(wParam));
        return 0;
    }
    if (self && msg == kShowAbout) {
        self->RunAbout();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace loom::web
