#pragma once
/// The editor's HTTP server on 127.0.0.1: the page's static files, embedded in the
/// program, and the JSON API, each request handed to the window thread.
///
/// The editor acts with its owner's rights, so only the owner's page may drive it: every
/// API request must carry the session token in an `X-Loom-Token` header. The page takes the
/// token from the printed address and keeps it in its own (per-port) session storage; no
/// cookie carries it, because browsers send a host's cookies to every port of that host.
/// Every answer forbids framing and sniffing. Slow or idle clients cannot hold the server:
/// one thread waits for every connection until its whole request has arrived (within a
/// deadline), and only complete requests reach the worker threads. Connections that have
/// not shown the token have a small cap and a short deadline of their own, and the oldest
/// of them makes room for a new connection, so that token-less clients can never starve the
/// owner's; bodies larger than the API reads answer 413 from their header alone.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace loom::web {

class Api;
class WindowThread;

/// What clients may hold and how long they may take.
struct ServerLimits {
    /// Connections open at once, all clients together (further capped by the open-file limit).
    std::size_t maxConnections = 1000;
    /// Connections whose request has not yet shown the session token (all local clients
    /// share one address, so a cap per address would let anyone lock the owner out). When
    /// they are this many, or the server is full, the oldest of them is answered 503 and
    /// closed to make room for a new connection.
    std::size_t maxUnproven = 128;
    /// From connecting to the whole request (headers and body) having arrived.
    std::chrono::milliseconds requestDeadline{10000};
    /// From connecting to headers that carry the session token, or to the whole request of
    /// one that carries none (the page's own files).
    std::chrono::milliseconds unprovenDeadline{3000};
    /// For writing one answer.
    std::chrono::milliseconds writeDeadline{10000};
    /// The longest an API request waits for the window thread, for its turn and its work
    /// together; then it is answered 503 (work already begun finishes on its own).
    std::chrono::milliseconds windowThreadWait{30000};
    /// Largest request line plus headers.
    std::size_t maxHeaderBytes = 16 * 1024;
    /// Threads that answer complete requests.
    int workers = 8;
};

/// A fresh session token: 256 bits from the system's random generator as 64 hex digits.
/// Throws std::runtime_error when the generator fails.
std::string NewSessionToken();
/// True when `token` can be used as one: 32..256 characters of A-Z a-z 0-9 - _ (it travels
/// in an address and a cookie unescaped).
bool ValidSessionToken(const std::string& token);

class Server {
  public:
    /// `token`: what every API request must carry (ValidSessionToken).
    Server(Api& api, WindowThread& thread, std::string token, ServerLimits limits = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Binds 127.0.0.1:port (0: a free port) and starts serving on threads of its own;
    /// answers the port. Throws std::runtime_error naming the address and the system's
    /// reason when it cannot listen there.
    int Start(int port);
    /// Stops serving, closes every connection and waits for the server's threads.
    void Stop();

    /// Connections open now (waiting for their request or being answered).
    std::size_t OpenConnections() const;

  private:
    class Http;
    struct Pending;

    void Poll();
    void Work();
    void Accept();
    void Receive(Pending& c);
    /// Closes a connection of pending_.
    void Close(int fd);
    /// Answers a connection of pending_ with an error, then drains it until it closes.
    void Refuse(int fd, int status, const std::string& message);
    /// Hands a connection of pending_ whose request is complete to the workers.
    void Dispatch(int fd);
    /// Answers the oldest connection that has not shown the token 503 and closes it;
    /// false when there is none.
    bool EvictOldestUnproven();
    /// Counts a connection's end.
    void Release();

    Api& api_;
    WindowThread& thread_;
    const std::string token_;
    ServerLimits limits_;
    std::unique_ptr<Http> http_;
    int port_ = -1;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread poller_;
    std::vector<std::thread> workers_;

    /// Connections whose request is still arriving (the poller's own).
    std::map<int, std::unique_ptr<Pending>> pending_;
    /// Those of pending_ that have not shown the token, oldest first (the poller's own).
    std::map<std::uint64_t, int> unproven_;
    std::uint64_t accepted_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable ready_cv_;
    std::deque<std::unique_ptr<Pending>> ready_;  ///< complete requests for the workers
    std::size_t open_ = 0;
};

/// One file of the page: its path under "/", MIME type and bytes.
struct StaticFile {
    const char* path;
    const char* type;
    const unsigned char* data;
    unsigned long size;
};
/// The page's files, embedded at build time (static_files.cpp is generated).
const StaticFile* FindStaticFile(const std::string& path);

}  // namespace loom::web
