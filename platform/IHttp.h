#pragma once
// One HTTP GET of a small file, delivered as bytes. The call returns only when the
// transfer has ended, but the backend keeps the event loop running meanwhile, so
// timer ticks and menu commands still arrive; a request made from one of them while
// a transfer runs sees StillExecuting() and must not start a second one.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace talvex::platform {

/// How a transfer ended.
enum class HttpStatus {
    Ok,                // the whole body arrived with a 2xx answer
    Busy,              // refused: another transfer of this object is running
    BadAddress,        // not an http:// or https:// address
    ConnectionFailed,  // no connection, a TLS failure, or the connection broke
    TimedOut,          // the whole transfer took longer than the time-out
    HttpError,         // the server answered with a status outside 2xx
    TooLarge,          // the body grew beyond the size limit
    BadRedirect,       // a redirect to another scheme than the same one or https
};

struct HttpResponse {
    HttpStatus status = HttpStatus::ConnectionFailed;
    /// The server's status code when there was an answer, else 0.
    int httpCode = 0;
    /// The whole body when status is Ok; empty otherwise.
    std::vector<std::uint8_t> body;
    /// What went wrong, for people reading a log; empty on success.
    std::string detail;

    bool Ok() const { return status == HttpStatus::Ok; }
};

/// A transfer that ended without a body.
inline HttpResponse HttpFailure(HttpStatus status, std::string detail, int httpCode = 0) {
    HttpResponse response;
    response.status = status;
    response.httpCode = httpCode;
    response.detail = std::move(detail);
    return response;
}

class IHttp {
  public:
    virtual ~IHttp() = default;

    /// True while a transfer of this object is running.
    virtual bool StillExecuting() const = 0;
    /// Fetches sURL with GET and returns when the body is complete or the transfer
    /// failed. Events keep being handled during the call.
    virtual HttpResponse OpenURL(const std::string& sURL) = 0;
};

}  // namespace talvex::platform
