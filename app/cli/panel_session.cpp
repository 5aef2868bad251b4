#include "app/cli/panel_session.h"

#include <cstdio>
#include <stdexcept>

#include "app/cli/texture_setup.h"
#include "app/loader/plugin_loader.h"
#include "foundation/host/interact.h"
#include "foundation/host/window_tree.h"

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

HWND PanelSession::Page() const { return editor_->Pages().back().hwnd; }

std::vector<HWND> PanelSession::PagesTextureFirst() const {
    std::vector<HWND> pages;
    for (auto it = editor_->Pages().rbegin(); it != editor_->Pages().rend(); ++it)
        pages.push_back(it->hwnd);
    return pages;
}

void PanelSession::Click(const std::string& what) {
    for (HWND page : PagesTextureFirst()) {
        if (HWND control = interact::FindControlByText(page, what)) {
            if (!interact::Click(page, GetDlgCtrlID(control))) {
                throw std::runtime_error("control '" + what + "' cannot be clicked");
            }
            return;
        }
    }
    int id = 0;
    try {
        id = static_cast<int>(ParseNumber(what, "--click"));
    } catch (const std::exception&) {
        throw std::runtime_error("the panel has no control called '" + what + "'");
    }
    for (HWND page : PagesTextureFirst()) {
        if (GetDlgItem(page, id) && interact::Click(page, id)) return;
    }
    throw std::runtime_error("control '" + what + "' cannot be clicked");
}

void PanelSession::Spin(const std::string& assignment) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos)
        throw std::runtime_error("--spin '" + assignment + "': expected ID=VALUE");
    int spinId = static_cast<int>(ParseNumber(assignment.substr(0, eq), "--spin ID"));
    ParseNumber(assignment.substr(eq + 1), "--spin value");
    for (HWND page : PagesTextureFirst()) {
        WindowNode tree = DescribeWindowTree(page);
        for (const WindowNode& n : tree.children) {
            if (n.id == spinId && n.spinner && n.spinner->editId != 0) {
                if (!interact::TypeValue(page, n.spinner->editId, assignment.substr(eq + 1))) {
                    throw std::runtime_error("--spin '" + assignment + "': the value was refused");
                }
                return;
            }
        }
    }
    throw std::runtime_error("--spin '" + assignment + "': no spinner with that ID");
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
