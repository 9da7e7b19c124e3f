// HTTP GET through WinHTTP on a thread of its own, while the calling thread keeps
// handling its window messages. The caller's deadline is the hard limit: when it
// passes, the request is closed and the transfer counts as timed out, whatever the
// thread is still waiting for.
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Net.h"
#include "platform/win32/Win32SystemLibrary.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

namespace {

using Clock = std::chrono::steady_clock;

// WinHTTP, loaded from System32 when the first transfer starts rather than imported:
// an imported WinHTTP would be looked for in the program's folder first.
struct WinHttpApi {
    decltype(&::WinHttpCrackUrl) CrackUrl = nullptr;
    decltype(&::WinHttpConnect) Connect = nullptr;
    decltype(&::WinHttpOpenRequest) OpenRequest = nullptr;
    decltype(&::WinHttpCloseHandle) CloseHandle = nullptr;
    decltype(&::WinHttpQueryHeaders) QueryHeaders = nullptr;
    decltype(&::WinHttpSetOption) SetOption = nullptr;
    decltype(&::WinHttpSetTimeouts) SetTimeouts = nullptr;
    decltype(&::WinHttpSendRequest) SendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) ReceiveResponse = nullptr;
    decltype(&::WinHttpReadData) ReadData = nullptr;
    decltype(&::WinHttpOpen) Open = nullptr;

    bool Complete() const {
        return CrackUrl && Connect && OpenRequest && CloseHandle && QueryHeaders && SetOption &&
               SetTimeouts && SendRequest && ReceiveResponse && ReadData && Open;
    }
};

WinHttpApi LoadWinHttp() {
    WinHttpApi api;
    HMODULE library = win32::SystemLibrary(L"winhttp.dll");
    api.CrackUrl = win32::SystemFunction<decltype(api.CrackUrl)>(library, "WinHttpCrackUrl");
    api.Connect = win32::SystemFunction<decltype(api.Connect)>(library, "WinHttpConnect");
    api.OpenRequest =
        win32::SystemFunction<decltype(api.OpenRequest)>(library, "WinHttpOpenRequest");
    api.CloseHandle =
        win32::SystemFunction<decltype(api.CloseHandle)>(library, "WinHttpCloseHandle");
    api.QueryHeaders =
        win32::SystemFunction<decltype(api.QueryHeaders)>(library, "WinHttpQueryHeaders");
    api.SetOption = win32::SystemFunction<decltype(api.SetOption)>(library, "WinHttpSetOption");
    api.SetTimeouts =
        win32::SystemFunction<decltype(api.SetTimeouts)>(library, "WinHttpSetTimeouts");
    api.SendRequest =
        win32::SystemFunction<decltype(api.SendRequest)>(library, "WinHttpSendRequest");
    api.ReceiveResponse =
        win32::SystemFunction<decltype(api.ReceiveResponse)>(library, "WinHttpReceiveResponse");
    api.ReadData = win32::SystemFunction<decltype(api.ReadData)>(library, "WinHttpReadData");
    api.Open = win32::SystemFunction<decltype(api.Open)>(library, "WinHttpOpen");
    return api;
}

// The functions, or null when WinHTTP cannot be loaded. Loaded on the calling thread
// before the transfer's thread starts, so that thread only reads them.
const WinHttpApi* LoadedWinHttp() {
    static const WinHttpApi api = LoadWinHttp();
    return api.Complete() ? &api : nullptr;
}

const WinHttpApi& Api() {
    return *LoadedWinHttp();
}

struct Address {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // path and query
};

bool Crack(const std::wstring& url, Address& address) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!Api().CrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return false;
    }
    if (parts.dwHostNameLength == 0) return false;
    address.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    address.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    address.port = parts.nPort;
    address.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) address.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (address.path.empty()) address.path = L"/";
    return true;
}

bool IsWebAddress(const std::wstring& url) {
    const auto lower = [](std::wstring text) {
        for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
        return text;
    };
    const std::wstring start = lower(url.substr(0, 8));
    return start.rfind(L"http://", 0) == 0 || start.rfind(L"https://", 0) == 0;
}

// The absolute address a Location header points to, seen from `from`.
std::wstring Resolve(const Address& from, const std::wstring& location) {
    if (location.find(L"://") != std::wstring::npos) return location;
    const std::wstring scheme = from.secure ? L"https:" : L"http:";
    if (location.rfind(L"//", 0) == 0) return scheme + location;
    const std::wstring origin =
        scheme + L"//" + from.host + L":" + std::to_wstring(static_cast<unsigned>(from.port));
    if (location.rfind(L"/", 0) == 0) return origin + location;
    std::wstring folder = from.path.substr(0, from.path.find_first_of(L"?#"));
    folder = folder.substr(0, folder.find_last_of(L'/') + 1);
    return origin + (folder.empty() ? L"/" : folder) + location;
}

/// One transfer, shared by the caller and the thread that carries it out.
struct Job {
    std::wstring url;
    WinHttpLimits limits;
    Clock::time_point deadline;
    HANDLE done = nullptr;
    std::mutex mutex;
    HINTERNET request = nullptr;  // the open request, for Cancel
    bool cancelled = false;
    HttpResponse result;

    ~Job() {
        if (done) CloseHandle(done);
    }
    DWORD RemainingMs() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() <= 0 ? 1 : static_cast<DWORD>(left.count());
    }
    // Closes the open request, so that the thread's waiting call fails at once.
    void Cancel() {
        const std::lock_guard lock(mutex);
        cancelled = true;
        if (request) Api().CloseHandle(request);
        request = nullptr;
    }
};

/// Handles of one hop; closed in the right order when it goes.
class Hop {
  public:
    Hop(Job& job, HINTERNET session) : m_job(job), m_session(session) {}
    ~Hop() {
        {
            const std::lock_guard lock(m_job.mutex);
            if (m_job.request == m_request && m_request) Api().CloseHandle(m_request);
            m_job.request = nullptr;
        }
        if (m_connection) Api().CloseHandle(m_connection);
    }
    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;

    /// Sends the request and waits for the answer's head; the failure otherwise.
    std::optional<HttpResponse> Open(const Address& address);
    int StatusCode() const { return static_cast<int>(Number(WINHTTP_QUERY_STATUS_CODE)); }
    std::optional<std::uint64_t> ContentLength() const;
    std::wstring Location() const;
    HttpResponse ReadBody(int code);

  private:
    std::uint64_t Number(DWORD query) const {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (!Api().QueryHeaders(m_request, query | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                                WINHTTP_NO_HEADER_INDEX)) {
            return 0;
        }
        return value;
    }
    HttpResponse Broken(const char* what) const;

    Job& m_job;
    HINTERNET m_session;
    HINTERNET m_connection = nullptr;
    HINTERNET m_request = nullptr;
};

HttpResponse Hop::Broken(const char* what) const {
    const DWORD error = GetLastError();
    {
        const std::lock_guard lock(m_job.mutex);
        if (m_job.cancelled) return HttpFailure(HttpStatus::TimedOut, "no complete answer in time");
    }
    // WinHTTP reports its own time-out; Wine the socket's.
    const bool timedOut = error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
    return HttpFailure(timedOut ? HttpStatus::TimedOut : HttpStatus::ConnectionFailed,
                       std::string(what) + " failed, error " + std::to_string(error));
}

std::optional<HttpResponse> Hop::Open(const Address& address) {
    m_connection = Api().Connect(m_session, address.host.c_str(), address.port, 0);
    if (!m_connection) return Broken("connect");
    HINTERNET request =
        Api().OpenRequest(m_connection, L"GET", address.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                          WINHTTP_DEFAULT_ACCEPT_TYPES, address.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) return Broken("open request");
    {
        const std::lock_guard lock(m_job.mutex);
        if (m_job.cancelled) {
            Api().CloseHandle(request);
            return HttpFailure(HttpStatus::TimedOut, "no complete answer in time");
        }
        m_job.request = m_request = request;
    }
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    Api().SetOption(m_request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    const int left = static_cast<int>(m_job.RemainingMs());
    Api().SetTimeouts(m_request, left, left, left, left);
    // Without this one, waiting for the head of the answer never times out on Wine.
    DWORD wait = static_cast<DWORD>(left);
    Api().SetOption(m_request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait);
    if (!Api().SendRequest(m_request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                           0, 0)) {
        return Broken("send");
    }
    if (!Api().ReceiveResponse(m_request, nullptr)) return Broken("receive");
    return std::nullopt;
}

std::optional<std::uint64_t> Hop::ContentLength() const {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!Api().QueryHeaders(m_request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                            text, &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return std::wcstoull(text, nullptr, 10);
}

std::wstring Hop::Location() const {
    DWORD size = 0;
    Api().QueryHeaders(m_request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                       WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return {};
    std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
    if (!Api().QueryHeaders(m_request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                            location.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    location.resize(size / sizeof(wchar_t));
    return location;
}

HttpResponse Hop::ReadBody(int code) {
    const std::size_t maxBody = m_job.limits.maxBody;
    HttpResponse response;
    response.httpCode = code;
    std::vector<std::uint8_t> chunk(16 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!Api().ReadData(m_request, chunk.data(), static_cast<DWORD>(chunk.size()), &got)) {
            HttpResponse broken = Broken("read");
            broken.httpCode = code;
            return broken;
        }
        if (got == 0) break;
        response.body.insert(response.body.end(), chunk.begin(), chunk.begin() + got);
        if (response.body.size() > maxBody) {
            return HttpFailure(HttpStatus::TooLarge, "the answer is larger than allowed", code);
        }
    }
    if (code < 200 || code > 299) {
        return HttpFailure(HttpStatus::HttpError, "unexpected answer " + std::to_string(code),
                           code);
    }
    response.status = HttpStatus::Ok;
    return response;
}

HttpResponse Transfer(Job& job, HINTERNET session) {
    std::wstring url = job.url;
    for (int hops = 0;; ++hops) {
        Address address;
        if (!Crack(url, address)) {
            return HttpFailure(hops == 0 ? HttpStatus::BadAddress : HttpStatus::BadRedirect,
                               "not an http or https address: " + win32::Narrow(url));
        }
        Hop hop(job, session);
        if (auto failed = hop.Open(address)) return *failed;
        const int code = hop.StatusCode();
        const std::wstring location = hop.Location();
        if (code >= 300 && code <= 399 && !location.empty()) {
            const std::wstring next = Resolve(address, location);
            Address target;
            // Within the same scheme or up to https, never down to http or elsewhere.
            if (!IsWebAddress(next) || !Crack(next, target) || (address.secure && !target.secure)) {
                return HttpFailure(HttpStatus::BadRedirect,
                                   "refused redirect to " + win32::Narrow(next), code);
            }
            if (hops + 1 > job.limits.maxRedirects) {
                return HttpFailure(HttpStatus::BadRedirect, "too many redirects", code);
            }
            url = next;
            continue;
        }
        const auto length = hop.ContentLength();
        if (length && *length > job.limits.maxBody) {
            return HttpFailure(HttpStatus::TooLarge, "the answer is larger than allowed", code);
        }
        return hop.ReadBody(code);
    }
}

void Run(const std::shared_ptr<Job>& job) {
    HINTERNET session = Api().Open(L"Talvex", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    // Systems before Windows 8.1 (and Wine) know only the default proxy setting.
    if (!session) {
        session = Api().Open(L"Talvex", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (!session) {
        job->result = HttpFailure(HttpStatus::ConnectionFailed, "WinHTTP is not available");
    } else {
        job->result = Transfer(*job, session);
        Api().CloseHandle(session);
    }
    SetEvent(job->done);
}

void DispatchPlainly() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class Win32Http final : public IHttp {
  public:
    Win32Http(WinHttpLimits limits, std::function<void()> doEvents)
        : m_limits(limits), m_doEvents(doEvents ? std::move(doEvents) : DispatchPlainly) {}

    bool StillExecuting() const override { return m_running; }

    HttpResponse OpenURL(const std::string& sURL) override {
        if (m_running) return HttpFailure(HttpStatus::Busy, "a transfer is running");
        if (!LoadedWinHttp()) {
            return HttpFailure(HttpStatus::ConnectionFailed, "WinHTTP is not available");
        }
        const std::wstring url = win32::Widen(sURL);
        Address address;
        if (!IsWebAddress(url) || !Crack(url, address)) {
            return HttpFailure(HttpStatus::BadAddress, "not an http or https address: " + sURL);
        }
        m_running = true;
        struct Idle {
            bool& running;
            ~Idle() { running = false; }
        } idle{m_running};

        auto job = std::make_shared<Job>();
        job->url = url;
        job->limits = m_limits;
        job->deadline = Clock::now() + m_limits.timeout;
        job->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!job->done)
            return HttpFailure(HttpStatus::ConnectionFailed, "no event for the transfer");
        try {
            std::thread([job] { Run(job); }).detach();
        } catch (const std::exception&) {
            return HttpFailure(HttpStatus::ConnectionFailed, "no thread for the transfer");
        }
        return Wait(*job);
    }

  private:
    HttpResponse Wait(Job& job) {
        for (;;) {
            const auto now = Clock::now();
            if (now >= job.deadline) break;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(job.deadline - now).count();
            const DWORD woke = MsgWaitForMultipleObjectsEx(
                1, &job.done, static_cast<DWORD>(left) + 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woke == WAIT_OBJECT_0) return job.result;
            if (woke == WAIT_OBJECT_0 + 1) m_doEvents();
            if (woke == WAIT_FAILED) break;
        }
        if (WaitForSingleObject(job.done, 0) == WAIT_OBJECT_0) return job.result;
        // The thread finishes (or fails) on its own, holding its share of the job.
        job.Cancel();
        return HttpFailure(HttpStatus::TimedOut, "no complete answer in time");
    }

    WinHttpLimits m_limits;
    std::function<void()> m_doEvents;
    bool m_running = false;
};

}  // namespace

std::unique_ptr<IHttp> CreateWin32Http(WinHttpLimits limits, std::function<void()> doEvents) {
    return std::make_unique<Win32Http>(limits, std::move(doEvents));
}

}  // namespace talvex::platform
