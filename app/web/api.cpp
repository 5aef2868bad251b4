#include "app/web/api.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "app/web/editor_session.h"
#include "app/web/root_folder.h"
#include "foundation/host/interact.h"
#include "foundation/host/undo.h"
#include "foundation/host/window_tree.h"

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

std::string NewRunId() {
    std::random_device random;
    char id[17];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    return id;
}

}  // namespace

Api::Api(EditorSession& session) : session_(session), run_(NewRunId()) {}

std::string Api::State() {
    EditorSession& s = session_;
    json windows = json::array();
    for (const EditorWindow& w : s.Windows()) {
        json tree = json::parse(WindowTreeToJson(DescribeWindowTree(w.hwnd)), nullptr, false);
        windows.push_back({{"hwnd", reinterpret_cast<std::uintptr_t>(w.hwnd)},
                           {"title", w.title},
                           {"rollup", w.rollup},
                           {"tree", tree}});
    }
    json classes = json::array();
    for (const TextureClass& c : s.TextureClasses()) {
        classes.push_back({{"name", c.name}, {"label", c.label}});
    }
    json map = nullptr;
    if (const auto& q = s.MapBrowser()) {
        map = {{"slot", q->slot}, {"slotName", Cp1252ToUtf8(q->slotName)}};
    }
    json mapPath = json::array();
    for (const MapStep& m : s.MapPath()) {
        mapPath.push_back({{"slot", m.slot}, {"slotName", m.slotName}, {"map", m.mapName}});
    }
    json state = {
        {"run", run_},
        {"serial", ++stateSerial_},
        {"classes", classes},
        {"entries", s.Entries()},
        {"entry", s.CurrentEntry()},
        {"mapPath", mapPath},
        {"windows", windows},
        {"time", {{"frame", s.Frame()}, {"last", EditorSession::kLastFrame}}},
        {"autoKey", s.AutoKey()},
        {"undo", {{"count", theHold.UndoCount()}, {"label", theHold.UndoLabel()}}},
        {"redo", {{"count", theHold.RedoCount()}, {"label", theHold.RedoLabel()}}},
        {"mapBrowser", map},
        {"sample", {{"version", s.SampleVersion()}, {"sphere", s.SampleSphere()}}},
        {"filter",
         {{"available", s.Filter() != nullptr},
          {"settings", s.FilterSettings()},
          {"dialogOpen", s.FilterDialogOpen()},
          {"lastSetup", s.LastSetupResult()}}},
    };
    return state.dump(-1, ' ', false, json::error_handler_t::replace);
}

ApiResponse Api::Handle(const ApiRequest& req) {
    try {
        if (req.body.size() > kMaxBodyBytes) throw ApiError(413, "the request body is too large");
        if (req.path.rfind("/api/", 0) != 0) throw ApiError(404, "no such path");
        const std::string path = req.path.substr(5);
        EditorSession& s = session_;

        if (req.method == "GET") {
            if (path == "state") return {200, "application/json", State()};
            if (path == "files") {
                const EditorSession::RootFiles files = s.Files();
                const json list{{"images", files.images}, {"scenes", files.scenes}};
                return {200, "application/json",
                        list.dump(-1, ' ', false, json::error_handler_t::replace)};
            }
            if (path == "sample.bmp") return Image(s.SampleImage());
            if (path == "viewport.bmp") return Image(s.ViewportImage());
            if (path == "bitmap") return Image(s.BitmapImage(QueryNumber(req, "h")));
            if (path == "imagelist") {
                const std::uint64_t index = QueryNumber(req, "i");
                if (index > 4096) throw ApiError(400, "parameter 'i' is out of range");
                return Image(s.ImageListImage(QueryNumber(req, "h"), static_cast<int>(index)));
            }
            throw ApiError(404, "no such path");
        }
        if (req.method != "POST") throw ApiError(405, "only GET and POST are answered");

        json body = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
        if (body.is_discarded()) throw ApiError(400, "the body is not JSON");
        if (!body.is_object()) throw ApiError(400, "the body must be a JSON object");

        if (path == "click") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            const int id = IntField(body, "id");
            Control(dlg, id, "", "");
            Require(interact::Click(dlg, id), "the control cannot be clicked now");
        } else if (path == "spinner") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            const int id = IntField(body, "id");
            Control(dlg, id, "SpinnerControl", "a spinner");
            std::vector<float> values;
            for (const json& v : ArrayField(body, "values")) {
                values.push_back(static_cast<float>(NumberValue(v, "values")));
            }
            Require(interact::DragSpinner(dlg, id, values, BoolField(body, "accept")),
                    "the spinner cannot be dragged now");
        } else if (path == "type") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            const int id = IntField(body, "id");
            HWND c = Control(dlg, id, "", "");
            const std::string cls = DescribeWindowTree(c).className;
            if (cls != "CustEdit" && cls != "Edit") {
                throw ApiError(400, "control " + std::to_string(id) + " is not an edit field");
            }
            s.TypeValue(dlg, id, StringField(body, "text"));
        } else if (path == "color") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            const int id = IntField(body, "id");
            Control(dlg, id, "ColorSwatch", "a colour swatch");
            std::vector<COLORREF> colours;
            for (const json& v : ArrayField(body, "colors")) colours.push_back(ParseColour(v));
            Require(interact::PickColor(dlg, id, colours, BoolField(body, "accept")),
                    "the swatch cannot be used now");
        } else if (path == "slider") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            const int id = IntField(body, "id");
            Control(dlg, id, "msctls_trackbar32", "a slider");
            std::vector<int> positions;
            for (const json& v : ArrayField(body, "positions")) {
                positions.push_back(IntValue(v, "positions"));
            }
            Require(interact::DragSlider(dlg, id, positions), "the slider cannot be moved now");
        } else if (path == "key") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            Require(interact::PressKey(dlg, KeyCode(StringField(body, "key"))),
                    "the key does nothing here");
        } else if (path == "close") {
            HWND dlg = s.FindWindow(HandleField(body, "hwnd"));
            Require(interact::CloseDialog(dlg), "the window cannot be closed");
        } else if (path == "open") {
            if (body.contains("class")) {
                s.OpenClass(StringField(body, "class"));
            } else {
                s.OpenEntry(StringField(body, "entry"));
            }
        } else if (path == "time") {
            s.SetFrame(NumberValue(Field(body, "frame"), "frame"));
        } else if (path == "autokey") {
            s.SetAutoKey(BoolField(body, "on"));
        } else if (path == "undo") {
            s.Undo();
        } else if (path == "redo") {
            s.Redo();
        } else if (path == "map") {
            const std::string kind = StringField(body, "kind");
            s.ChooseMap(kind, kind == "none" ? std::string() : StringField(body, "value"));
        } else if (path == "submap") {
            s.OpenSubMap(IntField(body, "slot"));
        } else if (path == "parent") {
            // Without a depth: one step up.
            const size_t open = s.MapPath().size();
            const int depth =
                body.contains("depth") ? IntField(body, "depth") : static_cast<int>(open) - 1;
            if (depth < 0) throw ApiError(400, "the open texture is not a sub-map");
            s.OpenParent(static_cast<size_t>(depth));
        } else if (path == "map/replace") {
            s.AskReplaceMap();
        } else if (path == "map/cancel") {
            s.CancelMap();
        } else if (path == "scene/save") {
            // Saving never replaces what is not a scene, and replaces a scene only when
            // asked to: the page asks the user first.
            const std::string file = StringField(body, "path");
            const bool overwrite = body.contains("overwrite") && BoolField(body, "overwrite");
            switch (RootFolder::SaveTarget(s.Folder().FileToWrite(file))) {
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
            s.SaveScene(file);
        } else if (path == "scene/load") {
            // The state, with the lines the user must be told about the scene as "notes".
            std::vector<std::string> notes = s.LoadScene(StringField(body, "path"));
            json answer = json::parse(State());
            answer["notes"] = notes;
            return {200, "application/json", answer.dump()};
        } else if (path == "sample") {
            s.SetSampleSphere(BoolField(body, "sphere"));
        } else if (path == "filter/setup") {
            s.ShowSetupLater();
        } else if (path == "filter/about") {
            s.ShowAboutLater();
        } else {
            throw ApiError(404, "no such path");
        }
        return {200, "application/json", State()};
    } catch (const ApiError& e) {
        return Error(e.Status(), e.what());
    } catch (const json::exception& e) {
        return Error(400, e.what());
    } catch (const std::exception& e) {
        return Error(500, e.what());
    }
}

}  // namespace loom::web
