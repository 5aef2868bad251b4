#include "app/web/server.h"

#include <httplib.h>

#include <chrono>

#include "app/web/api.h"
#include "app/web/window_thread.h"

namespace loom::web {
namespace {

/// How long a request waits for the window thread before it is answered 503.
constexpr std::chrono::seconds kWindowThreadWait{30};

void Reply(httplib::Response& res, int status, const std::string& type, std::string body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(std::move(body), type.c_str());
}

void ReplyError(httplib::Response& res, int status, const std::string& what) {
    Reply(res, status, "application/json", "{\"error\":\"" + what + "\"}\n");
}

}  // namespace

Server::Server(Api& api, WindowThread& thread)
    : api_(api), thread_(thread), http_(std::make_unique<httplib::Server>()) {}

Server::~Server() { Stop(); }

int Server::Start(int port) {
    httplib::Server& http = *http_;
    http.set_payload_max_length(kMaxBodyBytes);
    // Pages of other sites may reach 127.0.0.1 through the browser: only requests that
    // name this server as their host are answered (no DNS rebinding), and actions must
    // come as JSON, which a foreign page cannot send without the preflight we never allow.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const std::string host = req.get_header_value("Host");
        const std::string self = std::to_string(port_);
        if (host != "127.0.0.1:" + self && host != "localhost:" + self) {
            ReplyError(res, 403, "requests must name 127.0.0.1 as their host");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method == "POST" &&
            req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
            ReplyError(res, 415, "actions are sent as application/json");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto api = [this](const httplib::Request& req, httplib::Response& res) {
        ApiRequest request;
        request.method = req.method;
        request.path = req.path;
        for (const auto& [k, v] : req.params) request.query.emplace(k, v);
        request.body = req.body;
        ApiResponse response;
        if (!thread_.Run(
                [&] { response = api_.Handle(request); },
                std::chrono::duration_cast<std::chrono::milliseconds>(kWindowThreadWait))) {
            ReplyError(res, 503, "the editor is busy or stopping");
            return;
        }
        Reply(res, response.status, response.contentType, std::move(response.body));
    };
    http.Get("/api/.*", api);
    http.Post("/api/.*", api);
    http.Get("/.*", [](const httplib::Request& req, httplib::Response& res) {
        const StaticFile* f = FindStaticFile(req.path == "/" ? "/index.html" : req.path);
        if (!f) {
            ReplyError(res, 404, "no such file");
            return;
        }
        Reply(res, 200, f->type,
              std::string(reinterpret_cast<const char*>(f->data), static_cast<size_t>(f->size)));
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            ReplyError(
                res, res.status,
                res.status == 413 ? "the request body is too large" : "the request was refused");
        }
    });

    if (port == 0) {
        port_ = http.bind_to_any_port("127.0.0.1");
    } else {
        port_ = http.bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (port_ <= 0) {
        port_ = -1;
        return -1;
    }
    listener_ = std::thread([&http] { http.listen_after_bind(); });
    return port_;
}

void Server::Stop() {
    if (listener_.joinable()) {
        http_->stop();
        listener_.join();
    }
}

}  // namespace loom::web
