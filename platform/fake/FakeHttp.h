#pragma once
// HTTP for tests: answers from a table of addresses, records every request, and can
// run test code in the middle of a transfer, as events would in the real backend.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/IHttp.h"

namespace talvex::platform {

class FakeHttp final : public IHttp {
  public:
    // ---- control interface for tests ----
    /// The answer for an address; addresses without one fail to connect.
    void SetResponse(const std::string& sURL, HttpResponse response);
    /// A 200 answer with this body.
    void SetBody(const std::string& sURL, const std::string& sBody);
    /// Runs while the next transfers are busy, before they answer.
    void SetDuringTransfer(std::function<void()> work) { m_during = std::move(work); }
    /// Keeps the object busy, as if a transfer were running elsewhere.
    void SetBusy(bool busy) { m_forcedBusy = busy; }
    /// Every address that reached the server, oldest first (refused calls excluded).
    const std::vector<std::string>& Requests() const { return m_requests; }

    // ---- IHttp ----
    bool StillExecuting() const override { return m_forcedBusy || m_running; }
    HttpResponse OpenURL(const std::string& sURL) override;

  private:
    std::map<std::string, HttpResponse> m_responses;
    std::vector<std::string> m_requests;
    std::function<void()> m_during;
    bool m_forcedBusy = false;
    bool m_running = false;
};

}  // namespace talvex::platform
