#pragma once
/// The editor's JSON API, apart from any socket: a request (method, path, query, body) in,
/// a response (status, type, body) out. Every request is checked before anything is done:
/// unknown paths, windows and controls, wrong types, missing fields and oversized bodies
/// answer 4xx with one line of JSON, {"error": "..."}. Actions answer the editor's state
/// afterwards, so the page redraws from the answer.
///
/// Window-thread only (the server hands each request to the window thread), apart from
/// HandlePicture.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace loom::web {

class EditorSession;
class PreviewRenderer;

struct ApiRequest {
    std::string method;  ///< "GET" or "POST"
    std::string path;    ///< "/api/state", ...
    std::map<std::string, std::string> query;
    std::string body;
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    /// Further header lines (name, value).
    std::vector<std::pair<std::string, std::string>> headers;
};

/// Largest request body the API reads.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;

class Api {
  public:
    explicit Api(EditorSession& session);
    /// Answers `request`; then hands what it changed to the preview renderer.
    ApiResponse Handle(const ApiRequest& request);
    /// Any thread: answers the preview pictures, which never wait for the window thread:
    /// GET /api/preview?after=N&wait=MS (the latest picture's number, the change it shows,
    /// whether it is the full pass, its size; waiting up to MS, at most 5 s, for a picture
    /// numbered above N), /api/sample.bmp and /api/viewport.bmp (the latest picture; with
    /// after=N&wait=MS the first numbered above N, waiting as /api/preview does; with
    /// final=1 the full picture of the latest change, waiting up to 5 s for it, else 503).
    /// Pictures carry their number, change and pass in X-Loom-Picture, X-Loom-Version and
    /// X-Loom-Final headers. Nothing for any other request.
    std::optional<ApiResponse> HandlePicture(const ApiRequest& request) const;
    /// The longest any picture request waits (5 s, well inside the server's write deadline,
    /// unless set otherwise).
    void LimitPictureWaits(std::chrono::milliseconds most) { pictureWait_ = most; }
    /// Any thread: picture requests waiting now, and any made later, answer at once (the
    /// server is stopping).
    void ReleasePictureWaits();
    /// The editor's state as the page draws it (windows with their trees and the base
    /// units their dialog units map with, time, undo, map browser, images' versions, video
    /// post). Each answer carries a serial one above the last: answers to concurrent requests can
    /// reach the page in any order, and it draws none older than what it shows. Serials count
    /// within one run of the editor, which the answer names, so that a page left open across a
    /// restart still redraws.
    std::string State();

  private:
    ApiResponse Respond(const ApiRequest& request);
    /// Hands what the request changed to the preview renderer.
    void SubmitPreview();

    EditorSession& session_;
    PreviewRenderer& previews_;
    std::chrono::milliseconds pictureWait_{5000};
    const std::string run_;
    std::uint64_t stateSerial_ = 0;
};

}  // namespace loom::web
