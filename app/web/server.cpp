#include "app/web/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/web/api.h"
#include "app/web/window_thread.h"
#include "foundation/host/base/text.h"

namespace loom::web {
namespace {

using Clock = std::chrono::steady_clock;

/// How often the poller looks for connections past their deadline.
constexpr int kSweepMs = 100;
/// How long a refused connection is drained before it is closed, so that the client reads
/// the answer instead of a reset.
constexpr std::chrono::milliseconds kLingerTime{1000};
/// Connections accepted before the poller reads again: fewer than ServerLimits::maxUnproven,
/// so that a connection whose request has arrived is read before newer ones can push it out.
constexpr int kAcceptBatch = 32;

/// Sent with every answer, refusals of the connection handler included.
const std::pair<const char*, const char*> kSecurityHeaders[] = {
    {"X-Frame-Options", "DENY"},
    // Pictures may also come from blob: addresses, which only the page's own scripts make
    // (the sample arrives through fetch, with its number in the answer's headers).
    {"Content-Security-Policy",
     "default-src 'self'; img-src 'self' blob:; "
     "frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

std::string JsonError(const std::string& what) {
    std::string quoted;
    for (char c : what) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) quoted += c;
    }
    return "{\"error\":\"" + quoted + "\"}\n";
}

void Reply(httplib::Response& res, int status, const std::string& type, std::string body) {
    res.status = status;
    res.set_content(std::move(body), type.c_str());
}

void ReplyError(httplib::Response& res, int status, const std::string& what) {
    Reply(res, status, "application/json", JsonError(what));
}

/// Compares in time that depends on the lengths only, so that a guess learns nothing from
/// how long its refusal took.
bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    volatile unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        diff = static_cast<unsigned char>(
            diff | (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i])));
    }
    return diff == 0;
}

/// The token the request carries in its X-Loom-Token header. Cookies are never read: a
/// browser sends them to every port of the host, so a cookie would prove nothing.
std::string RequestToken(const httplib::Request& req) {
    return req.has_header("X-Loom-Token") ? req.get_header_value("X-Loom-Token") : "";
}

const char* Reason(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Service Unavailable";
    }
}

/// A whole answer for the connection handler's own refusals.
std::string CannedAnswer(int status, const std::string& message) {
    const std::string body = JsonError(message);
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (const auto& [name, value] : kSecurityHeaders)
        out += std::string(name) + ": " + value + "\r\n";
    out += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
    return out;
}

/// Best effort on a non-blocking socket: what does not fit now is dropped.
void SendNow(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

/// A complete request read into memory, and the socket its answer goes to. httplib reads
/// the request from here as from the socket, so a slow client never holds a worker.
class BufferedStream final : public httplib::Stream {
  public:
    BufferedStream(int fd, const std::string& request, std::string peer, int peerPort,
                   int localPort, Clock::time_point writeDeadline)
        : fd_(fd),
          request_(request),
          peer_(std::move(peer)),
          peerPort_(peerPort),
          localPort_(localPort),
          deadline_(writeDeadline) {}

    bool is_readable() const override { return pos_ < request_.size(); }
    bool is_writable() const override { return Clock::now() < deadline_; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, request_.size() - pos_);
        std::memcpy(ptr, request_.data() + pos_, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(fd_, ptr + sent, size - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
                pollfd p{fd_, POLLOUT, 0};
                if (left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0) {
                    continue;
                }
            }
            return -1;  // the client stopped reading, or left
        }
        return static_cast<ssize_t>(sent);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = peer_;
        port = peerPort_;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = localPort_;
    }
    socket_t socket() const override { return fd_; }

  private:
    int fd_;
    const std::string& request_;
    size_t pos_ = 0;
    std::string peer_;
    int peerPort_;
    int localPort_;
    Clock::time_point deadline_;
};

}  // namespace

std::string NewSessionToken() {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            throw std::runtime_error(std::string("cannot make a session token: getrandom: ") +
                                     std::strerror(errno));
        }
        got += static_cast<size_t>(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool ValidSessionToken(const std::string& token) {
    if (token.size() < 32 || token.size() > 256) return false;
    return std::all_of(token.begin(), token.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    });
}

/// httplib's request parsing, routing and answer writing, fed one complete request.
/// Removes the Accept-Encoding lines from a request's headers (the first `headerEnd`
/// bytes of `data`), so that answers go out as they are: compressing them (brotli at its
/// slowest setting, as the library does) costs tens of milliseconds and saves nothing on
/// the loopback.
void DropAcceptEncoding(std::string& data, size_t headerEnd) {
    size_t line = data.find("\r\n");  // the request line stays
    while (line != std::string::npos && line + 2 < headerEnd) {
        const size_t start = line + 2;
        const size_t end = data.find("\r\n", start);
        if (end == std::string::npos || end >= headerEnd) break;
        if (Lower(data.substr(start, std::min<size_t>(16, end - start))) == "accept-encoding:") {
            data.erase(start, end + 2 - start);
            headerEnd -= end + 2 - start;
            continue;
        }
        line = end;
    }
}

class Server::Http : public httplib::Server {
  public:
    void Serve(httplib::Stream& stream) {
        bool closed = false;
        process_request(stream, true, closed, nullptr);
    }
};

/// A connection whose request is still arriving.
struct Server::Pending {
    int fd = -1;
    std::string peer;
    int peerPort = 0;
    bool proven = false;      ///< its headers carry the session token
    std::uint64_t order = 0;  ///< its place in unproven_
    std::string data;
    size_t scanned = 0;  ///< where the search for the headers' end goes on
    size_t headerEnd = std::string::npos;
    size_t need = std::string::npos;  ///< headers plus body
    bool closing = false;             ///< refused: drained until the client closes
    Clock::time_point deadline;
};

Server::Server(Api& api, WindowThread& thread, std::string token, ServerLimits limits)
    : api_(api),
      thread_(thread),
      token_(std::move(token)),
      limits_(limits),
      http_(std::make_unique<Http>()) {
    if (!ValidSessionToken(token_)) {
        throw std::invalid_argument("the session token must be 32..256 letters, digits, - or _");
    }
}

Server::~Server() { Stop(); }

std::size_t Server::OpenConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

int Server::Start(int port) {
    Http& http = *http_;
    http.set_payload_max_length(kMaxBodyBytes);
    httplib::Headers headers;
    for (const auto& [name, value] : kSecurityHeaders) headers.emplace(name, value);
    http.set_default_headers(headers);
    // Pages of other sites may reach 127.0.0.1 through the browser: only requests that
    // name this server as their host are answered (no DNS rebinding), and actions must
    // come as JSON, which a foreign page cannot send without the preflight we never allow.
    // Other local users reach it too: the API answers only the holder of the token.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const std::string host = req.get_header_value("Host");
        const std::string self = std::to_string(port_);
        if (host != "127.0.0.1:" + self && host != "localhost:" + self) {
            ReplyError(res, 403, "requests must name 127.0.0.1 as their host");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.path.rfind("/api/", 0) == 0) {
            const std::string token = RequestToken(req);
            if (token.empty()) {
                ReplyError(res, 401,
                           "this editor answers only its owner: open the address it printed "
                           "at start-up (with ?token=...), whose page sends the token, or "
                           "send it in an X-Loom-Token header");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (!SameToken(token, token_)) {
                ReplyError(res, 403,
                           "the session token is not this editor's: open the address it "
                           "printed at start-up");
                return httplib::Server::HandlerResponse::Handled;
            }
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
        // Pictures come from the preview renderer: they never wait for the window thread.
        if (std::optional<ApiResponse> picture = api_.HandlePicture(request)) {
            for (const auto& [name, value] : picture->headers) res.set_header(name, value);
            Reply(res, picture->status, picture->contentType, std::move(picture->body));
            return;
        }
        // The work may outlive this wait, so it owns the request and its answer.
        auto work =
            std::make_shared<std::pair<ApiRequest, ApiResponse>>(std::move(request), ApiResponse{});
        switch (thread_.Run([this, work] { work->second = api_.Handle(work->first); },
                            limits_.windowThreadWait)) {
            case WindowThread::RunOutcome::kDone:
                break;
            case WindowThread::RunOutcome::kNotStarted:
                ReplyError(res, 503, "the editor is busy or stopping");
                return;
            case WindowThread::RunOutcome::kStillRunning:
                ReplyError(res, 503,
                           "the editor is still working on this request; it finishes on its "
                           "own: ask for the state again");
                return;
        }
        ApiResponse& response = work->second;
        for (const auto& [name, value] : response.headers) res.set_header(name, value);
        Reply(res, response.status, response.contentType, std::move(response.body));
    };
    http.Get("/api/.*", api);
    http.Post("/api/.*", api);
    http.Get("/.*", [this](const httplib::Request& req, httplib::Response& res) {
        const StaticFile* f = FindStaticFile(req.path == "/" ? "/index.html" : req.path);
        if (!f) {
            ReplyError(res, 404, "no such file");
            return;
        }
        // The printed address carries the token, which the page's scripts keep and send
        // in a header; a wrong one is refused here, so that the owner learns at once that the
        // address is stale.
        if (req.has_param("token") && !SameToken(req.get_param_value("token"), token_)) {
            ReplyError(res, 403,
                       "the token in the address is not this editor's: open the address it "
                       "printed at start-up");
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

    const std::string address = "127.0.0.1:" + std::to_string(port);
    auto fail = [&](const std::string& what) {
        const int err = errno;
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        std::string message = "cannot listen on " + address + ": " + what + std::strerror(err);
        if (err == EADDRINUSE) {
            message +=
                " (another program uses the port; choose another with --port, or 0 for "
                "any free port)";
        }
        throw std::runtime_error(message);
    };
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) fail("socket: ");
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fail("");
    if (::listen(listenFd_, SOMAXCONN) != 0) fail("listen: ");
    socklen_t len = sizeof addr;
    if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        fail("getsockname: ");
    }
    port_ = ntohs(addr.sin_port);

    // Every connection holds a file descriptor: stay well inside the process's limit.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const std::size_t room = files.rlim_cur > 128 ? files.rlim_cur - 64 : 32;
        limits_.maxConnections = std::min(limits_.maxConnections, room);
    }

    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0) fail("epoll: ");
    for (int fd : {listenFd_, wakeFd_}) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) fail("epoll: ");
    }
    stopping_ = false;
    poller_ = std::thread([this] { Poll(); });
    for (int i = 0; i < std::max(1, limits_.workers); ++i)
        workers_.emplace_back([this] { Work(); });
    return port_;
}

void Server::Stop() {
    if (!poller_.joinable()) return;
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    poller_.join();
    ready_cv_.notify_all();
    // Requests waiting for the next picture are answered now, not when their wait ends.
    api_.ReleasePictureWaits();
    for (std::thread& w : workers_) w.join();
    workers_.clear();
    for (auto& c : ready_) {
        ::close(c->fd);
        Release();
    }
    ready_.clear();
    ::close(epollFd_);
    ::close(wakeFd_);
    ::close(listenFd_);
    epollFd_ = wakeFd_ = listenFd_ = -1;
}

void Server::Poll() {
    epoll_event events[64];
    Clock::time_point nextSweep = Clock::now();
    while (!stopping_) {
        const int n = ::epoll_wait(epollFd_, events, 64, kSweepMs);
        for (int i = 0; i < n && !stopping_; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wakeFd_) continue;
            if (fd == listenFd_) {
                Accept();
                continue;
            }
            // A connection pushed out by an earlier event of this round is gone.
            auto it = pending_.find(fd);
            if (it != pending_.end()) Receive(*it->second);
        }
        const Clock::time_point now = Clock::now();
        if (now < nextSweep) continue;
        nextSweep = now + std::chrono::milliseconds(kSweepMs);
        std::vector<int> late;
        for (const auto& [fd, c] : pending_) {
            if (now >= c->deadline) late.push_back(fd);
        }
        for (int fd : late) {
            Pending& c = *pending_.at(fd);
            if (c.closing) {
                Close(fd);
            } else {
                Refuse(fd, 408, "the request did not arrive in time");
            }
        }
    }
    while (!pending_.empty()) Close(pending_.begin()->first);
}

void Server::Accept() {
    for (int i = 0; i < kAcceptBatch; ++i) {
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors despite the cap: let the others finish first.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return;
        }
        // An answer goes out as headers and then a body: without this the second write
        // waits for the client's delayed acknowledgement of the first (about 40 ms).
        const int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        char ip[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
        // Room is made by pushing out the oldest connection that has not shown the token:
        // a client without it only ever pushes out others like it, or itself.
        if (unproven_.size() >= limits_.maxUnproven) EvictOldestUnproven();
        bool room = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (open_ < limits_.maxConnections) {
                    ++open_;
                    room = true;
                }
            }
            if (room || !EvictOldestUnproven()) break;
        }
        if (!room) {
            SendNow(fd,
                    CannedAnswer(503, "the editor holds too many connections; try again later"));
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Pending>();
        c->fd = fd;
        c->peer = ip;
        c->peerPort = ntohs(addr.sin_port);
        c->deadline = Clock::now() + std::min(limits_.unprovenDeadline, limits_.requestDeadline);
        c->order = ++accepted_;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        const bool watched = ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) == 0;
        Pending& added = *pending_.emplace(fd, std::move(c)).first->second;
        unproven_.emplace(added.order, fd);
        if (!watched) {
            Close(fd);
            continue;
        }
        // The request usually arrives with the connection: read it now, before later
        // connections could push this one out.
        Receive(added);
    }
}

bool Server::EvictOldestUnproven() {
    if (unproven_.empty()) return false;
    const int fd = unproven_.begin()->second;
    Pending& c = *pending_.at(fd);
    if (!c.closing) {
        SendNow(fd, CannedAnswer(503, "the editor is busy with other connections; try again"));
    }
    ::shutdown(fd, SHUT_RDWR);
    Close(fd);
    return true;
}

void Server::Receive(Pending& c) {
    const size_t most = limits_.maxHeaderBytes + kMaxBodyBytes;
    char buf[16384];
    bool ended = false;
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (c.closing) continue;  // drained and dropped
            c.data.append(buf, static_cast<size_t>(n));
            if (c.data.size() > most) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (c.closing) {
        if (ended) Close(c.fd);
        return;
    }
    if (c.headerEnd == std::string::npos) {
        const size_t at = c.data.find("\r\n\r\n", c.scanned);
        if (at == std::string::npos || at + 4 > limits_.maxHeaderBytes) {
            if (c.data.size() > limits_.maxHeaderBytes) {
                Refuse(c.fd, 431, "the request's headers are too large");
            } else if (ended) {
                Close(c.fd);
            } else {
                c.scanned = c.data.size() < 3 ? 0 : c.data.size() - 3;
            }
            return;
        }
        c.headerEnd = at + 4;
        // Only the body's length and the token matter here; httplib parses the rest.
        std::string_view head(c.data.data(), at);
        std::uint64_t length = 0;
        bool sized = false, expect = false, proven = false;
        while (!head.empty()) {
            const size_t eol = std::min(head.find("\r\n"), head.size());
            std::string_view line = head.substr(0, eol);
            head.remove_prefix(std::min(eol + 2, head.size()));
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            const std::string name = Lower(Trim(line.substr(0, colon)));
            const std::string_view value = Trim(line.substr(colon + 1));
            if (name == "content-length") {
                std::uint64_t v = 0;
                bool ok = !value.empty() && value.size() <= 18;
                for (char ch : value) {
                    ok = ok && ch >= '0' && ch <= '9';
                    v = v * 10 + static_cast<std::uint64_t>(ch - '0');
                }
                if (!ok || (sized && v != length)) {
                    Refuse(c.fd, 400, "the request's Content-Length is not a number");
                    return;
                }
                length = v;
                sized = true;
            } else if (name == "transfer-encoding") {
                Refuse(c.fd, 411, "send the body with a Content-Length");
                return;
            } else if (name == "expect") {
                expect = Lower(value) == "100-continue";
            } else if (name == "x-loom-token" && SameToken(value, token_)) {
                proven = true;
            }
        }
        if (proven && !c.proven) {
            // The owner's: no longer among those pushed out, and the whole deadline to send
            // its body.
            c.proven = true;
            unproven_.erase(c.order);
            c.deadline += limits_.requestDeadline -
                          std::min(limits_.unprovenDeadline, limits_.requestDeadline);
        }
        if (length > kMaxBodyBytes) {
            Refuse(c.fd, 413,
                   "the request body is too large (at most " + std::to_string(kMaxBodyBytes) +
                       " bytes)");
            return;
        }
        c.need = c.headerEnd + static_cast<size_t>(length);
        if (expect && c.data.size() < c.need) SendNow(c.fd, "HTTP/1.1 100 Continue\r\n\r\n");
    }
    if (c.data.size() >= c.need) {
        Dispatch(c.fd);
    } else if (ended || c.data.size() > most) {
        Close(c.fd);
    }
}

void Server::Refuse(int fd, int status, const std::string& message) {
    SendNow(fd, CannedAnswer(status, message));
    ::shutdown(fd, SHUT_WR);
    // Read on until the client closes (or a short while), so that it reads the answer
    // rather than a reset caused by data left unread.
    Pending& c = *pending_.at(fd);
    c.closing = true;
    c.data.clear();
    c.deadline = Clock::now() + kLingerTime;
}

void Server::Dispatch(int fd) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    auto node = pending_.extract(fd);
    unproven_.erase(node.mapped()->order);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(std::move(node.mapped()));
    }
    ready_cv_.notify_one();
}

void Server::Close(int fd) {
    ::close(fd);  // also leaves the epoll set
    auto node = pending_.extract(fd);
    if (node) {
        unproven_.erase(node.mapped()->order);
        Release();
    }
}

void Server::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
}

void Server::Work() {
    for (;;) {
        std::unique_ptr<Pending> c;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_cv_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
            if (stopping_) return;
            c = std::move(ready_.front());
            ready_.pop_front();
        }
        c->data.resize(c->need);  // what follows is not answered: one request a connection
        DropAcceptEncoding(c->data, c->headerEnd);
        try {
            BufferedStream stream(c->fd, c->data, c->peer, c->peerPort, port_,
                                  Clock::now() + limits_.writeDeadline);
            http_->Serve(stream);
        } catch (...) {
            // The answer could not be made or sent; the connection just ends.
        }
        ::shutdown(c->fd, SHUT_WR);
        ::close(c->fd);
        Release();
    }
}

}  // namespace loom::web
