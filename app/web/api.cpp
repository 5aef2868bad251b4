#include "app/web/api.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string_view>

#include "app/web/editor_session.h"
#include "app/web/preview_renderer.h"
#include "app/web/root_folder.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/window_tree.h"

namespace loom::web {
namespace {

using nlohmann::json;

/// Longest text field (paths, typed values, class names).
constexpr size_t kMaxText = 4096;
/// Most steps one drag may carry.
constexpr size_t kMaxSteps = 1024;

/// `extra`: fields the page acts on besides the message.
ApiResponse Error(int status, const std::string& what, json extra = json::object()) {
    ApiResponse r;
    r.status = status;
    extra["error"] = what;
    r.body = extra.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    return r;
}

const json& Field(const json& body, const char* name) {
    auto it = body.find(name);
    if (it == body.end()) throw ApiError(400, std::string("missing field '") + name + "'");
    return *it;
}

std::uint64_t HandleField(const json& body, const char* name) {
    const json& v = Field(body, name);
    if (!v.is_number_integer() ||
        (v.is_number_integer() && !v.is_number_unsigned() && v.get<std::int64_t>() < 0)) {
        throw ApiError(400, std::string("'") + name + "' must be a window handle");
    }
    return v.get<std::uint64_t>();
}

int IntValue(const json& v, const std::string& what) {
    if (!v.is_number_integer()) throw ApiError(400, "'" + what + "' must be an integer");
    if (v.is_number_unsigned()) {
        if (v.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
            throw ApiError(400, "'" + what + "' is out of range");
        return static_cast<int>(v.get<std::uint64_t>());
    }
    const std::int64_t i = v.get<std::int64_t>();
    if (i < std::numeric_limits<int>::min() || i > std::numeric_limits<int>::max())
        throw ApiError(400, "'" + what + "' is out of range");
    return static_cast<int>(i);
}

int IntField(const json& body, const char* name) { return IntValue(Field(body, name), name); }

double NumberValue(const json& v, const std::string& what) {
    if (!v.is_number()) throw ApiError(400, "'" + what + "' must be a number");
    const double d = v.get<double>();
    if (!std::isfinite(d)) throw ApiError(400, "'" + what + "' must be finite");
    return d;
}

bool BoolField(const json& body, const char* name) {
    const json& v = Field(body, name);
    if (!v.is_boolean()) throw ApiError(400, std::string("'") + name + "' must be true or false");
    return v.get<bool>();
}

std::string StringField(const json& body, const char* name) {
    const json& v = Field(body, name);
    if (!v.is_string()) throw ApiError(400, std::string("'") + name + "' must be a string");
    std::string s = v.get<std::string>();
    if (s.size() > kMaxText) throw ApiError(400, std::string("'") + name + "' is too long");
    return s;
}

const json& ArrayField(const json& body, const char* name) {
    const json& v = Field(body, name);
    if (!v.is_array()) throw ApiError(400, std::string("'") + name + "' must be a list");
    if (v.empty() || v.size() > kMaxSteps) {
        throw ApiError(400, std::string("'") + name + "' must hold 1.." +
                                std::to_string(kMaxSteps) + " entries");
    }
    return v;
}

COLORREF ParseColour(const json& v) {
    if (!v.is_string()) throw ApiError(400, "colours are \"#rrggbb\" strings");
    const std::string s = v.get<std::string>();
    unsigned value = 0;
    if (s.size() != 7 || s[0] != '#' ||
        std::from_chars(s.data() + 1, s.data() + 7, value, 16).ptr != s.data() + 7) {
        throw ApiError(400, "colours are \"#rrggbb\" strings");
    }
    return RGB(static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 8),
               static_cast<BYTE>(value));
}

std::uint64_t QueryNumber(const ApiRequest& req, const char* name) {
    auto it = req.query.find(name);
    if (it == req.query.end()) throw ApiError(400, std::string("missing parameter '") + name + "'");
    const std::string& s = it->second;
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        throw ApiError(400, std::string("parameter '") + name + "' must be a number");
    }
    return v;
}

/// The control `id` of `dlg`, which must be of class `cls` (any class when empty).
HWND Control(HWND dlg, int id, const char* cls, const char* what) {
    HWND c = GetDlgItem(dlg, id);
    if (!c) throw ApiError(404, "the window has no control " + std::to_string(id));
    if (*cls && DescribeWindowTree(c).className != cls) {
        throw ApiError(400, "control " + std::to_string(id) + " is not " + what);
    }
    return c;
}

void Require(bool done, const char* what) {
    if (!done) throw ApiError(409, what);
}

ApiResponse Image(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) throw ApiError(404, "there is no picture to show");
    ApiResponse r;
    r.contentType = "image/bmp";
    r.body.assign(bytes.begin(), bytes.end());
    return r;
}

int KeyCode(const std::string& key) {
    if (key == "Enter") return VK_RETURN;
    if (key == "Escape") return VK_ESCAPE;
    if (key == "Space") return VK_SPACE;
    if (key == "Tab") return VK_TAB;
    throw ApiError(400, "keys are Enter, Escape, Space and Tab");
}

/// The horizontal and vertical base units the window system maps `dlg`'s dialog units
/// with (a dialog unit is a quarter and an eighth of them), so that the page draws with the
/// host's own numbers. A window not made from a template has no dialog units: [4, 8], one
/// pixel each.
json DialogBaseUnits(HWND dlg) {
    RECT base{0, 0, 4, 8};
    if (!MapDialogRect(dlg, &base)) return json::array({4, 8});
    return json::array({base.right, base.bottom});
}

std::string NewRunId() {
    std::random_device random;
    char id[17];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    return id;
}

/// What a route's handler works with: the API (for its state), the session, the request,
/// and the request's body as a JSON object (empty for GET).
struct RouteCall {
    Api& api;
    EditorSession& session;
    const ApiRequest& request;
    const json& body;

    MaterialSession& Materials() const { return session.Materials(); }
    /// The window the body's "hwnd" names.
    HWND Window() const { return session.FindWindow(HandleField(body, "hwnd")); }
};

/// A handler answers a response of its own, or nothing for the editor's state afterwards.
using Answer = std::optional<ApiResponse>;
using RouteHandler = Answer (*)(const RouteCall&);

struct Route {
    std::string_view method;
    std::string_view path;  ///< after "/api/"
    RouteHandler handler;
};

ApiResponse Files(const RouteCall& call) {
    const EditorSession::RootFiles files = call.session.Files();
    const json list{{"images", files.images}, {"scenes", files.scenes}};
    return {200, "application/json", list.dump(-1, ' ', false, json::error_handler_t::replace), {}};
}

Answer ClickControl(const RouteCall& call) {
    HWND dlg = call.Window();
    const int id = IntField(call.body, "id");
    Control(dlg, id, "", "");
    Require(interact::Click(dlg, id), "the control cannot be clicked now");
    return {};
}

Answer DragSpinner(const RouteCall& call) {
    HWND dlg = call.Window();
    const int id = IntField(call.body, "id");
    Control(dlg, id, "SpinnerControl", "a spinner");
    std::vector<float> values;
    for (const json& v : ArrayField(call.body, "values")) {
        values.push_back(static_cast<float>(NumberValue(v, "values")));
    }
    Require(interact::DragSpinner(dlg, id, values, BoolField(call.body, "accept")),
            "the spinner cannot be dragged now");
    return {};
}

Answer TypeText(const RouteCall& call) {
    HWND dlg = call.Window();
    const int id = IntField(call.body, "id");
    HWND c = Control(dlg, id, "", "");
    const std::string cls = DescribeWindowTree(c).className;
    if (cls != "CustEdit" && cls != "Edit") {
        throw ApiError(400, "control " + std::to_string(id) + " is not an edit field");
    }
    call.session.TypeValue(dlg, id, StringField(call.body, "text"));
    return {};
}

Answer PickColours(const RouteCall& call) {
    HWND dlg = call.Window();
    const int id = IntField(call.body, "id");
    Control(dlg, id, "ColorSwatch", "a colour swatch");
    std::vector<COLORREF> colours;
    for (const json& v : ArrayField(call.body, "colors")) colours.push_back(ParseColour(v));
    Require(interact::PickColor(dlg, id, colours, BoolField(call.body, "accept")),
            "the swatch cannot be used now");
    return {};
}

Answer DragSlider(const RouteCall& call) {
    HWND dlg = call.Window();
    const int id = IntField(call.body, "id");
    Control(dlg, id, "msctls_trackbar32", "a slider");
    std::vector<int> positions;
    for (const json& v : ArrayField(call.body, "positions")) {
        positions.push_back(IntValue(v, "positions"));
    }
    Require(interact::DragSlider(dlg, id, positions), "the slider cannot be moved now");
    return {};
}

Answer OpenTexture(const RouteCall& call) {
    if (call.body.contains("class")) {
        call.Materials().OpenClass(StringField(call.body, "class"));
    } else {
        call.Materials().OpenEntry(StringField(call.body, "entry"));
    }
    return {};
}

Answer OpenParentMap(const RouteCall& call) {
    // Without a depth: one step up.
    const size_t open = call.Materials().MapPath().size();
    const int depth =
        call.body.contains("depth") ? IntField(call.body, "depth") : static_cast<int>(open) - 1;
    if (depth < 0) throw ApiError(400, "the open texture is not a sub-map");
    call.Materials().OpenParent(static_cast<size_t>(depth));
    return {};
}

Answer SaveScene(const RouteCall& call) {
    // Saving never replaces what is not a scene, and replaces a scene only when asked to:
    // the page asks the user first.
    const std::string file = StringField(call.body, "path");
    const bool overwrite = call.body.contains("overwrite") && BoolField(call.body, "overwrite");
    switch (RootFolder::SaveTarget(call.session.Folder().FileToWrite(file))) {
        case RootFolder::Target::kOther:
            throw ApiError(409, file + " is not a scene file: saving does not replace it");
        case RootFolder::Target::kScene:
            if (!overwrite) {
                return Error(409, file + " exists: save with overwrite to replace it",
                             {{"exists", true}});
            }
            break;
        case RootFolder::Target::kNew:
            break;
    }
    call.session.SaveScene(file);
    return {};
}

Answer LoadScene(const RouteCall& call) {
    // The state, with the lines the user must be told about the scene as "notes".
    std::vector<std::string> notes = call.session.LoadScene(StringField(call.body, "path"));
    json answer = json::parse(call.api.State());
    answer["notes"] = notes;
    return ApiResponse{200, "application/json", answer.dump(), {}};
}

Answer SampleSettings(const RouteCall& call) {
    const bool sphere = call.body.contains("sphere");
    const bool density = call.body.contains("density");
    const bool tile = call.body.contains("tile");
    const bool seed = call.body.contains("seed");
    if (!sphere && !density && !tile && !seed) {
        throw ApiError(400, "give 'sphere', 'density', 'tile' or 'seed'");
    }
    if (seed) call.Materials().SetSeed(NumberValue(call.body["seed"], "seed"));
    if (tile) call.Materials().SetSampleTile(BoolField(call.body, "tile"));
    if (sphere) call.Materials().SetSampleSphere(BoolField(call.body, "sphere"));
    if (density) call.Materials().SetPixelDensity(NumberValue(call.body["density"], "density"));
    return {};
}

ApiResponse PictureFile(const PictureBytes& bytes) {
    if (!bytes) throw ApiError(404, "there is no picture to show");
    return Image(*bytes);
}

// clang-format off
/// Every path the API answers. GET routes read; POST routes act and, unless they answer
/// otherwise, answer the editor's state afterwards.
constexpr Route kRoutes[] = {
    {"GET", "state", [](const RouteCall&) -> Answer { return {}; }},
    {"GET", "files", [](const RouteCall& c) -> Answer { return Files(c); }},
    {"GET", "bitmap", [](const RouteCall& c) -> Answer {
         return Image(c.session.BitmapImage(QueryNumber(c.request, "h"))); }},
    {"GET", "imagelist", [](const RouteCall& c) -> Answer {
         const std::uint64_t index = QueryNumber(c.request, "i");
         if (index > 4096) throw ApiError(400, "parameter 'i' is out of range");
         return Image(c.session.ImageListImage(QueryNumber(c.request, "h"),
                                               static_cast<int>(index))); }},

    {"POST", "click", ClickControl},
    {"POST", "spinner", DragSpinner},
    {"POST", "type", TypeText},
    {"POST", "color", PickColours},
    {"POST", "slider", DragSlider},
    {"POST", "key", [](const RouteCall& c) -> Answer {
         HWND dlg = c.Window();
         Require(interact::PressKey(dlg, KeyCode(StringField(c.body, "key"))),
                 "the key does nothing here");
         return {}; }},
    {"POST", "close", [](const RouteCall& c) -> Answer {
         Require(interact::CloseDialog(c.Window()), "the window cannot be closed");
         return {}; }},
    {"POST", "open", OpenTexture},
    {"POST", "time", [](const RouteCall& c) -> Answer {
         c.Materials().SetFrame(NumberValue(Field(c.body, "frame"), "frame")); return {}; }},
    {"POST", "autokey", [](const RouteCall& c) -> Answer {
         c.session.SetAutoKey(BoolField(c.body, "on")); return {}; }},
    {"POST", "undo", [](const RouteCall& c) -> Answer { c.session.Undo(); return {}; }},
    {"POST", "redo", [](const RouteCall& c) -> Answer { c.session.Redo(); return {}; }},
    {"POST", "map", [](const RouteCall& c) -> Answer {
         const std::string kind = StringField(c.body, "kind");
         c.Materials().ChooseMap(kind, kind == "none" ? std::string()
                                                      : StringField(c.body, "value"));
         return {}; }},
    {"POST", "submap", [](const RouteCall& c) -> Answer {
         c.Materials().OpenSubMap(IntField(c.body, "slot")); return {}; }},
    {"POST", "parent", OpenParentMap},
    {"POST", "map/replace", [](const RouteCall& c) -> Answer {
         c.Materials().AskReplaceMap(); return {}; }},
    {"POST", "map/cancel", [](const RouteCall& c) -> Answer {
         c.Materials().CancelMap(); return {}; }},
    {"POST", "scene/save", SaveScene},
    {"POST", "scene/load", LoadScene},
    {"POST", "sample", SampleSettings},
    {"POST", "filter/setup", [](const RouteCall& c) -> Answer {
         c.session.VideoPost().ShowSetupLater(); return {}; }},
    {"POST", "filter/about", [](const RouteCall& c) -> Answer {
         c.session.VideoPost().ShowAboutLater(); return {}; }},
};
// clang-format on

/// The route for `method` and `path`; ApiError 404 when there is none.
const Route& FindRoute(std::string_view method, std::string_view path) {
    for (const Route& r : kRoutes) {
        if (r.method == method && r.path == path) return r;
    }
    throw ApiError(404, "no such path");
}

/// The request's body as a JSON object (an empty body is an empty object).
json ParseBody(const std::string& text) {
    json body = text.empty() ? json::object() : json::parse(text, nullptr, false);
    if (body.is_discarded()) throw ApiError(400, "the body is not JSON");
    if (!body.is_object()) throw ApiError(400, "the body must be a JSON object");
    return body;
}

}  // namespace

Api::Api(EditorSession& session)
    : session_(session), previews_(session.Materials().Previews()), run_(NewRunId()) {}

void Api::ReleasePictureWaits() { previews_.ReleaseWaits(); }

std::optional<ApiResponse> Api::HandlePicture(const ApiRequest& req) const {
    if (req.method != "GET") return std::nullopt;
    try {
        auto waitMs = [&](const char* name) {
            const std::uint64_t most = static_cast<std::uint64_t>(pictureWait_.count());
            return req.query.count(name) ? std::min(QueryNumber(req, name), most)
                                         : std::uint64_t{0};
        };
        if (req.path == "/api/preview") {
            const std::uint64_t after = req.query.count("after") ? QueryNumber(req, "after") : 0;
            const PreviewPicture p =
                previews_.WaitNewer(after, std::chrono::milliseconds(waitMs("wait")));
            const json answer = {{"picture", p.number},
                                 {"version", p.generation},
                                 {"final", p.final},
                                 {"size", p.size},
                                 {"empty", !p.sample}};
            return ApiResponse{200, "application/json", answer.dump(), {}};
        }
        const bool sample = req.path == "/api/sample.bmp";
        if (!sample && req.path != "/api/viewport.bmp") return std::nullopt;
        PreviewPicture p;
        if (req.query.count("after")) {
            // The page's way: the next picture itself, once there is one.
            p = previews_.WaitNewer(QueryNumber(req, "after"),
                                    std::chrono::milliseconds(waitMs("wait")));
        } else if (req.query.count("final") && QueryNumber(req, "final") != 0) {
            // Scripts and tests that want the finished picture of the latest change.
            std::optional<PreviewPicture> done = previews_.WaitFinal(pictureWait_);
            if (!done) throw ApiError(503, "the sample is still being drawn");
            p = std::move(*done);
        } else {
            p = previews_.Latest();
        }
        ApiResponse r = PictureFile(sample ? p.sample : p.viewport);
        r.headers = {{"X-Loom-Picture", std::to_string(p.number)},
                     {"X-Loom-Version", std::to_string(p.generation)},
                     {"X-Loom-Final", p.final ? "1" : "0"}};
        return r;
    } catch (const ApiError& e) {
        return Error(e.Status(), e.what());
    }
}

std::string Api::State() {
    const EditorSession& s = session_;
    const MaterialSession& m = s.Materials();
    const VideoPostSession& v = s.VideoPost();
    json windows = json::array();
    for (const EditorWindow& w : s.Windows()) {
        json tree = json::parse(WindowTreeToJson(DescribeWindowTree(w.hwnd)), nullptr, false);
        windows.push_back({{"hwnd", reinterpret_cast<std::uintptr_t>(w.hwnd)},
                           {"title", w.title},
                           {"rollup", w.rollup},
                           {"units", DialogBaseUnits(w.hwnd)},
                           {"tree", tree}});
    }
    json classes = json::array();
    for (const TextureClass& c : m.TextureClasses()) {
        classes.push_back({{"name", c.name}, {"label", c.label}});
    }
    json map = nullptr;
    if (const auto& q = m.MapBrowser()) {
        map = {{"slot", q->slot}, {"slotName", Cp1252ToUtf8(q->slotName)}};
    }
    json mapPath = json::array();
    for (const MapStep& step : m.MapPath()) {
        mapPath.push_back(
            {{"slot", step.slot}, {"slotName", step.slotName}, {"map", step.mapName}});
    }
    json state = {
        {"run", run_},
        {"serial", ++stateSerial_},
        {"classes", classes},
        {"openClass", m.OpenClassName()},
        {"entries", m.Entries()},
        {"entry", m.CurrentEntry()},
        {"mapPath", mapPath},
        {"windows", windows},
        {"time", {{"frame", m.Frame()}, {"last", MaterialSession::kLastFrame}}},
        {"autoKey", s.AutoKey()},
        {"undo", {{"count", theHold.UndoCount()}, {"label", theHold.UndoLabel()}}},
        {"redo", {{"count", theHold.RedoCount()}, {"label", theHold.RedoLabel()}}},
        {"mapBrowser", map},
        {"sample",
         {{"version", m.SampleVersion()},
          {"sphere", m.SampleSphere()},
          {"size", m.SampleSize()},
          {"tile", m.SampleTile()},
          {"seed", m.Seed()},
          {"seedMatters", m.SeedMatters()}}},
        {"filter",
         {{"available", v.Filter() != nullptr},
          {"settings", v.Settings()},
          {"dialogOpen", v.DialogOpen()},
          {"lastSetup", v.LastSetupResult()}}},
    };
    return state.dump(-1, ' ', false, json::error_handler_t::replace);
}

ApiResponse Api::Handle(const ApiRequest& req) {
    if (std::optional<ApiResponse> picture = HandlePicture(req)) return std::move(*picture);
    ApiResponse response = Respond(req);
    // Whatever a request changed, also one that failed half-way, is drawn afresh.
    SubmitPreview();
    return response;
}

void Api::SubmitPreview() {
    try {
        session_.Materials().SubmitPreview();
    } catch (const std::exception&) {
        // No copy of the texture could be made (memory): the pictures stay as they were.
    }
}

ApiResponse Api::Respond(const ApiRequest& req) {
    try {
        if (req.body.size() > kMaxBodyBytes) throw ApiError(413, "the request body is too large");
        if (req.path.rfind("/api/", 0) != 0) throw ApiError(404, "no such path");
        const std::string_view path = std::string_view(req.path).substr(5);
        // A GET's body is never read; a POST's is checked before its path is looked up.
        if (req.method != "GET" && req.method != "POST") {
            throw ApiError(405, "only GET and POST are answered");
        }
        const json body = req.method == "POST" ? ParseBody(req.body) : json::object();
        const Route& route = FindRoute(req.method, path);
        Answer answer = route.handler({*this, session_, req, body});
        // The preview starts before the answer is made.
        SubmitPreview();
        if (answer) return std::move(*answer);
        return {200, "application/json", State(), {}};
    } catch (const ApiError& e) {
        return Error(e.Status(), e.what());
    } catch (const json::exception& e) {
        return Error(400, e.what());
    } catch (const std::exception& e) {
        return Error(500, e.what());
    }
}

}  // namespace loom::web
