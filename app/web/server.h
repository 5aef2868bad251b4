#pragma once
/// The editor's HTTP server on 127.0.0.1: the page's static files, embedded in the
/// program, and the JSON API, each request handed to the window thread.

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace loom::web {

class Api;
class WindowThread;

class Server {
  public:
    Server(Api& api, WindowThread& thread);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Binds 127.0.0.1:port (0: a free port) and starts serving on a thread of its own;
    /// answers the port, or -1 when it cannot be bound.
    int Start(int port);
    /// Stops serving and waits for the server's threads.
    void Stop();

  private:
    Api& api_;
    WindowThread& thread_;
    std::unique_ptr<httplib::Server> http_;
    std::thread listener_;
    int port_ = -1;
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
