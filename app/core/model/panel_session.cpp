#include "app/core/model/panel_session.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/win32_gdi.h"
#include "foundation/host/win32/window_tree.h"

namespace loom {
namespace {

void DescribeNode(const WindowNode& n, std::string& out) {
    char line[512];
    std::string state;
    if (n.check >= 0) state += n.check ? " checked" : " unchecked";
    if (n.trackbar) {
        state += " pos=" + std::to_string(n.trackbar->pos) +
                 " range=" + std::to_string(n.trackbar->min) + ".." +
                 std::to_string(n.trackbar->max);
    }
    if (n.spinner) {
        char v[64];
        if (n.spinner->isInteger) {
            std::snprintf(v, sizeof v, " value=%d", n.spinner->intValue);
        } else {
            std::snprintf(v, sizeof v, " value=%.9g", Widen(n.spinner->value));
        }
        state += v;
    }
    if (n.swatch) {
        char v[64];
        std::snprintf(v, sizeof v, " colour=%u,%u,%u", n.swatch->color & 0xFF,
                      (n.swatch->color >> 8) & 0xFF, (n.swatch->color >> 16) & 0xFF);
        state += v;
    }
    if (!n.enabled) state += " disabled";
    std::snprintf(line, sizeof line, "%5d %-18s \"%s\"%s\n", n.id, n.className.c_str(),
                  Utf8FromCp1252(n.text).c_str(), state.c_str());
    out += line;
    for (const WindowNode& c : n.children) DescribeNode(c, out);
}

/// A control ID typed on the command line: a whole number within int's range.
int ParseControlId(const std::string& text, const std::string& what) {
    const double d = ParseNumber(text, what);
    if (d != std::floor(d) || std::fabs(d) > 2147483647.0) {
        throw std::runtime_error(what + ": '" + text + "' is not a control ID");
    }
    return static_cast<int>(d);
}

struct Assignment {
    int id = 0;
    std::string value;
};

/// "ID=VALUE" as given to `option`, whose form `form` names.
Assignment SplitAssignment(const std::string& text, const std::string& option,
                           const std::string& form) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        throw std::runtime_error(option + " '" + text + "': expected " + form);
    }
    return {ParseControlId(text.substr(0, eq), option + " '" + text + "': ID"),
            text.substr(eq + 1)};
}

}  // namespace

PanelSession::PanelSession(Texmap* tex) : editor_(std::make_unique<MaterialEditor>()) {
    if (!editor_->Open(tex) || editor_->Pages().empty()) {
        throw std::runtime_error("this texture has no panel");
    }
    PumpMessages();
}

PanelSession::~PanelSession() {
    editor_->Close();
    PumpMessages();
}

std::vector<std::string> PanelSession::PresetNames() const {
    const WindowNode tree = DescribeWindowTree(Page());
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    auto inside = [](const RECT& inner, const RECT& outer) {
        return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
               inner.bottom <= outer.bottom;
    };
    std::vector<RECT> groups;
    for (const WindowNode& n : tree.children) {
        const bool groupBox = n.className == "Button" && (n.style & 0xF) == BS_GROUPBOX;
        if (groupBox && lower(n.text).find("preset") != std::string::npos) groups.push_back(n.rect);
    }
    std::vector<const WindowNode*> buttons;
    for (const WindowNode& n : tree.children) {
        const DWORD kind = n.style & 0xF;
        const bool push =
            n.className == "Button" && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
        if (!push || n.text.empty() || lower(n.text).rfind("mutate", 0) == 0) continue;
        if (std::any_of(groups.begin(), groups.end(),
                        [&](const RECT& g) { return inside(n.rect, g); })) {
            buttons.push_back(&n);
        }
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const WindowNode* a, const WindowNode* b) {
        return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
    });
    std::vector<std::string> names;
    for (const WindowNode* b : buttons) names.push_back(Utf8FromCp1252(b->text));
    return names;
}

HWND PanelSession::Page() const { return editor_->Pages().back().hwnd; }

std::vector<HWND> PanelSession::PagesTextureFirst() const {
    std::vector<HWND> pages;
    for (auto it = editor_->Pages().rbegin(); it != editor_->Pages().rend(); ++it)
        pages.push_back(it->hwnd);
    return pages;
}

void PanelSession::Click(const std::string& what) {
    // Every control a person could mean: on any page, and reachable.
    struct Candidate {
        HWND page, control;
    };
    std::vector<Candidate> found;
    bool unreachable = false;
    for (HWND page : PagesTextureFirst()) {
        for (HWND control : interact::FindControlsByText(page, what)) {
            if (interact::Reachable(control)) {
                found.push_back({page, control});
            } else {
                unreachable = true;
            }
        }
    }
    if (found.size() > 1) {
        std::string ids;
        for (const Candidate& c : found) {
            ids += (ids.empty() ? "" : ", ") + std::to_string(GetDlgCtrlID(c.control)) + " (" +
                   DescribeWindowTree(c.control).className + ")";
        }
        throw std::runtime_error("--click '" + what + "': " + std::to_string(found.size()) +
                                 " controls have that text: " + ids + "; click one by its ID");
    }
    if (found.size() == 1) {
        if (!interact::Click(found.front().page, GetDlgCtrlID(found.front().control))) {
            throw std::runtime_error("control '" + what + "' cannot be clicked");
        }
        return;
    }
    if (unreachable) throw std::runtime_error("control '" + what + "' cannot be clicked now");
    int id = 0;
    try {
        id = ParseControlId(what, "--click");
    } catch (const std::exception&) {
        throw std::runtime_error("the panel has no control called '" + what + "'");
    }
    for (HWND page : PagesTextureFirst()) {
        if (GetDlgItem(page, id) && interact::Click(page, id)) return;
    }
    throw std::runtime_error("control '" + what + "' cannot be clicked");
}

void PanelSession::Spin(const std::string& assignment) {
    const Assignment a = SplitAssignment(assignment, "--spin", "ID=VALUE");
    ParseNumber(a.value, "--spin '" + assignment + "': value");
    for (HWND page : PagesTextureFirst()) {
        WindowNode tree = DescribeWindowTree(page);
        for (const WindowNode& n : tree.children) {
            if (n.id == a.id && n.spinner && n.spinner->editId != 0) {
                if (!interact::TypeValue(page, n.spinner->editId, a.value)) {
                    throw std::runtime_error("--spin '" + assignment + "': the value was refused");
                }
                return;
            }
        }
    }
    throw std::runtime_error("--spin '" + assignment + "': no spinner with that ID");
}

void PanelSession::Slide(const std::string& assignment) {
    const Assignment a = SplitAssignment(assignment, "--slide", "ID=POSITION");
    for (HWND page : PagesTextureFirst()) {
        for (const WindowNode& n : DescribeWindowTree(page).children) {
            if (n.id != a.id || !n.trackbar) continue;
            const std::string range =
                std::to_string(n.trackbar->min) + ".." + std::to_string(n.trackbar->max);
            const double pos = ParseNumber(a.value, "--slide '" + assignment + "': position");
            if (pos != std::floor(pos) || pos < n.trackbar->min || pos > n.trackbar->max) {
                throw std::runtime_error("--slide '" + assignment +
                                         "': the position must be a whole number " + range);
            }
            if (!interact::MoveSlider(page, a.id, static_cast<int>(pos))) {
                throw std::runtime_error("--slide '" + assignment +
                                         "': the slider cannot be moved now");
            }
            return;
        }
    }
    throw std::runtime_error("--slide '" + assignment + "': no slider with that ID");
}

void PanelSession::Color(const std::string& assignment) {
    const Assignment a = SplitAssignment(assignment, "--color", "ID=R,G,B");
    std::vector<std::string> parts;
    for (size_t from = 0;;) {
        const size_t comma = a.value.find(',', from);
        parts.push_back(a.value.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    BYTE rgb[3] = {0, 0, 0};
    for (size_t c = 0; c < 3; ++c) {
        double v = -1.0;
        try {
            if (parts.size() == 3) v = ParseNumber(parts[c], "--color");
        } catch (const std::runtime_error&) {
            v = -1.0;
        }
        if (!(v >= 0.0 && v <= 255.0 && v == std::floor(v))) {
            throw std::runtime_error("--color '" + assignment +
                                     "': expected R,G,B, each a whole number 0..255");
        }
        rgb[c] = static_cast<BYTE>(v);
    }
    for (HWND page : PagesTextureFirst()) {
        for (const WindowNode& n : DescribeWindowTree(page).children) {
            if (n.id != a.id || !n.swatch) continue;
            if (!interact::PickColor(page, a.id, {RGB(rgb[0], rgb[1], rgb[2])},
                                     /*accept=*/true)) {
                throw std::runtime_error("--color '" + assignment +
                                         "': the colour swatch cannot be reached now");
            }
            return;
        }
    }
    throw std::runtime_error("--color '" + assignment + "': no colour swatch with that ID");
}

std::string PanelSession::Describe() const {
    // The texture's own rollup first, then the pages it opened (its Coordinates).
    std::string out;
    for (auto it = editor_->Pages().rbegin(); it != editor_->Pages().rend(); ++it) {
        out += "rollup \"" + it->title + "\"\n";
        DescribeNode(DescribeWindowTree(it->hwnd), out);
    }
    return out;
}

}  // namespace loom
