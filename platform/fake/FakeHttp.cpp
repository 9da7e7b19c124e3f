#include "platform/fake/FakeHttp.h"

namespace talvex::platform {

void FakeHttp::SetResponse(const std::string& sURL, HttpResponse response) {
    m_responses[sURL] = std::move(response);
}

void FakeHttp::SetBody(const std::string& sURL, const std::string& sBody) {
    HttpResponse response;
    response.status = HttpStatus::Ok;
    response.httpCode = 200;
    response.body.assign(sBody.begin(), sBody.end());
    SetResponse(sURL, std::move(response));
}

HttpResponse FakeHttp::OpenURL(const std::string& sURL) {
    if (StillExecuting()) {
        HttpResponse busy;
        busy.status = HttpStatus::Busy;
        busy.detail = "a transfer is running";
        return busy;
    }
    m_requests.push_back(sURL);
    m_running = true;
    if (m_during) m_during();
    m_running = false;
    const auto found = m_responses.find(sURL);
    if (found != m_responses.end()) return found->second;
    HttpResponse failed;
    failed.detail = "connection refused";
    return failed;
}

}  // namespace talvex::platform
