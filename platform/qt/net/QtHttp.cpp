// HTTP GET through Qt Network, run in a local event loop so that the caller's thread
// keeps handling events while it waits.
#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>

#include "platform/qt/net/QtNet.h"

namespace talvex::platform {

namespace {

bool IsWebScheme(const QString& scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

/// What one transfer collected while the event loop ran.
struct Transfer {
    QByteArray body;
    QUrl current;                         // the address of the present hop
    std::optional<HttpStatus> stoppedBy;  // set when we aborted the transfer ourselves
    std::string detail;
};

class QtHttp final : public IHttp {
  public:
    explicit QtHttp(HttpLimits limits) : m_limits(limits) {}

    bool StillExecuting() const override { return m_running; }
    HttpResponse OpenURL(const std::string& sURL) override;

  private:
    void Watch(QNetworkReply& reply, Transfer& transfer, QEventLoop& loop);
    HttpResponse Result(QNetworkReply& reply, Transfer& transfer) const;

    HttpLimits m_limits;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    bool m_running = false;
};

HttpResponse QtHttp::OpenURL(const std::string& sURL) {
    if (m_running) return HttpFailure(HttpStatus::Busy, "a transfer is running");
    const QUrl url(QString::fromStdString(sURL), QUrl::StrictMode);
    if (!url.isValid() || !IsWebScheme(url.scheme()) || url.host().isEmpty()) {
        return HttpFailure(HttpStatus::BadAddress, "not an http or https address: " + sURL);
    }
    if (QCoreApplication::instance() == nullptr) {
        return HttpFailure(HttpStatus::ConnectionFailed, "no application object");
    }
    m_running = true;
    struct Idle {
        bool& running;
        ~Idle() { running = false; }
    } idle{m_running};

    if (!m_manager) m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);

    QEventLoop loop;
    QTimer deadline;
    Transfer transfer;
    transfer.current = url;
    // Declared last so that it goes first: no signal of it reaches the objects above
    // once they are gone.
    std::unique_ptr<QNetworkReply> reply(m_manager->get(request));
    Watch(*reply, transfer, loop);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), [&transfer, &reply]() {
        transfer.stoppedBy = HttpStatus::TimedOut;
        transfer.detail = "no complete answer in time";
        reply->abort();
    });
    deadline.setSingleShot(true);
    deadline.start(m_limits.timeout);
    if (!reply->isFinished()) loop.exec();
    deadline.stop();
    if (!reply->isFinished()) {
        // Somebody ended every event loop (the application is quitting).
        transfer.stoppedBy = HttpStatus::ConnectionFailed;
        transfer.detail = "the transfer was interrupted";
        reply->abort();
    }
    return Result(*reply, transfer);
}

void QtHttp::Watch(QNetworkReply& reply, Transfer& transfer, QEventLoop& loop) {
    const auto maxBody = static_cast<qint64>(m_limits.maxBody);
    const auto tooLarge = [&transfer, &reply]() {
        transfer.stoppedBy = HttpStatus::TooLarge;
        transfer.detail = "the answer is larger than allowed";
        reply.abort();
    };
    QObject::connect(&reply, &QNetworkReply::metaDataChanged, &loop, [&reply, maxBody, tooLarge]() {
        const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBody) tooLarge();
    });
    QObject::connect(&reply, &QNetworkReply::readyRead, &loop,
                     [&reply, &transfer, maxBody, tooLarge]() {
                         if (transfer.stoppedBy) return;
                         transfer.body.append(reply.readAll());
                         if (transfer.body.size() > maxBody) tooLarge();
                     });
    QObject::connect(
        &reply, &QNetworkReply::redirected, &loop, [&reply, &transfer](const QUrl& to) {
            const QString scheme = to.scheme();
            if (IsWebScheme(scheme) &&
                (scheme == QLatin1String("https") || scheme == transfer.current.scheme())) {
                transfer.current = to;
                transfer.body.clear();
                emit reply.redirectAllowed();
                return;
            }
            transfer.stoppedBy = HttpStatus::BadRedirect;
            transfer.detail = "refused redirect to " + to.toString().toStdString();
            reply.abort();
        });
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
}

HttpResponse QtHttp::Result(QNetworkReply& reply, Transfer& transfer) const {
    const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (transfer.stoppedBy) return HttpFailure(*transfer.stoppedBy, transfer.detail, code);
    // A redirect that ends the transfer was refused (by Qt: unknown scheme, https to
    // http, too many hops).
    if (code >= 300 && code <= 399) {
        return HttpFailure(HttpStatus::BadRedirect,
                           "redirect not followed: " + reply.errorString().toStdString(), code);
    }
    if (reply.error() != QNetworkReply::NoError) {
        const HttpStatus status =
            code >= 300 ? HttpStatus::HttpError : HttpStatus::ConnectionFailed;
        return HttpFailure(status, reply.errorString().toStdString(), code);
    }
    if (code < 200 || code > 299) {
        return HttpFailure(HttpStatus::HttpError, "unexpected answer " + std::to_string(code),
                           code);
    }
    transfer.body.append(reply.readAll());
    if (transfer.body.size() > static_cast<qint64>(m_limits.maxBody)) {
        return HttpFailure(HttpStatus::TooLarge, "the answer is larger than allowed", code);
    }
    HttpResponse response;
    response.status = HttpStatus::Ok;
    response.httpCode = code;
    response.body.assign(transfer.body.begin(), transfer.body.end());
    return response;
}

}  // namespace

std::unique_ptr<IHttp> CreateQtHttp(HttpLimits limits) {
    return std::make_unique<QtHttp>(limits);
}

}  // namespace talvex::platform
