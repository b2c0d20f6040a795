#include "remote/remote_server.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QWebSocket>
#include <map>

namespace tw::remote {

namespace {

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray mime_of(const QString& name) {
    if (name.endsWith(".html")) return "text/html; charset=utf-8";
    if (name.endsWith(".css")) return "text/css; charset=utf-8";
    if (name.endsWith(".js")) return "text/javascript; charset=utf-8";
    if (name.endsWith(".svg")) return "image/svg+xml";
    if (name.endsWith(".png")) return "image/png";
    return "application/octet-stream";
}

}  // namespace

// The files of the folder, read at start and served from memory by their
// exact names; everything else is 404. Only GET and HEAD.
class HttpFiles : public QAbstractHttpServer {
public:
    explicit HttpFiles(const std::string& folder) {
        const QDir dir(QString::fromStdString(folder));
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::Readable | QDir::NoDotAndDotDot)) {
            QFile file(f.absoluteFilePath());
            if (f.size() <= 4 * 1024 * 1024 && file.open(QIODevice::ReadOnly))
                files_["/" + f.fileName()] = {file.readAll(), mime_of(f.fileName())};
        }
        if (files_.count("/index.html") != 0) files_["/"] = files_["/index.html"];
    }
    bool has_page() const { return files_.count("/") != 0; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        // A WebSocket upgrade on /ws: "handled" without an answer, so the
        // server hands the socket over to its WebSocket side.
        if (request.url().path() == "/ws" && request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
            return true;
        QHttpServerResponder responder = makeResponder(request, socket);
        if (request.method() != QHttpServerRequest::Method::Get && request.method() != QHttpServerRequest::Method::Head) {
            responder.write(QHttpServerResponder::StatusCode::MethodNotAllowed);
            return true;
        }
        const auto it = files_.find(request.url().path());
        if (it == files_.end()) {
            responder.write(QByteArray("Not found.\n"), "text/plain", QHttpServerResponder::StatusCode::NotFound);
            return true;
        }
        responder.write(QByteArray(it->second.first), it->second.second);
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

private:
    std::map<QString, std::pair<QByteArray, QByteArray>> files_;
};

RemoteServer::RemoteServer(Hub& hub, std::string folder, QObject* parent)
    : QObject(parent), hub_(hub), http_(std::make_unique<HttpFiles>(folder)) {
    connect(http_.get(), &QAbstractHttpServer::newWebSocketConnection, this, &RemoteServer::accept_sockets);
    timer_.setInterval(kPushMs);
    connect(&timer_, &QTimer::timeout, this, &RemoteServer::push);
}

RemoteServer::~RemoteServer() { stop(); }

bool RemoteServer::listen(const std::string& address, int port, std::string& error) {
    stop();
    if (!http_->has_page()) {
        error = "The remote's page (html/remote/index.html) is missing from the program folder; install the "
                "program again.";
        return false;
    }
    host_ = address.empty() || address == "localhost" ? "127.0.0.1" : address;
    QHostAddress ha;
    if (!ha.setAddress(QString::fromStdString(host_))) {
        error = "\"" + address + "\" is not an IP address; give one such as 127.0.0.1 or 192.168.1.20.";
        return false;
    }
    auto* tcp = new QTcpServer(http_.get());
    if (!tcp->listen(ha, static_cast<quint16>(port))) {
        error = "The remote cannot listen on " + host_ + ":" + std::to_string(port) + " (" +
                tcp->errorString().toStdString() + "). Choose another address or port.";
        delete tcp;
        return false;
    }
    port_ = tcp->serverPort();
    http_->bind(tcp);
    timer_.start();
    return true;
}

void RemoteServer::stop() {
    timer_.stop();
    while (!clients_.empty()) drop(clients_.begin()->first);
    for (QTcpServer* s : http_->servers()) {
        s->close();
        s->deleteLater();
    }
    port_ = 0;
}

bool RemoteServer::listening() const {
    for (QTcpServer* s : http_->servers())
        if (s->isListening()) return true;
    return false;
}

std::string RemoteServer::url() const {
    const bool v6 = host_.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_) + "/";
}

void RemoteServer::poll() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void RemoteServer::accept_sockets() {
    while (http_->hasPendingWebSocketConnections()) {
        QWebSocket* s = http_->nextPendingWebSocketConnection().release();
        if (s == nullptr) continue;
        s->setMaxAllowedIncomingFrameSize(kMaxTransportMessage);
        s->setMaxAllowedIncomingMessageSize(kMaxTransportMessage);
        std::string first;
        const int id = hub_.connect(first);
        s->sendTextMessage(QString::fromStdString(first));
        if (id == 0) {
            // The refusal goes out before the close; a peer that never
            // answers the close is cut off after a few seconds.
            connect(s, &QWebSocket::disconnected, s, &QObject::deleteLater);
            s->close(QWebSocketProtocol::CloseCodePolicyViolated, "too many remotes");
            QTimer::singleShot(5000, s, [s] {
                s->abort();
                s->deleteLater();
            });
            continue;
        }
        clients_[s] = Client{id};
        connect(s, &QWebSocket::textMessageReceived, this, [this, s](const QString& text) {
            const auto it = clients_.find(s);
            if (it == clients_.end()) return;
            const QByteArray utf8 = text.toUtf8();
            for (const std::string& reply : hub_.receive(it->second.id, std::string_view(utf8.constData(), utf8.size()), now_ms()))
                if (s->bytesToWrite() <= kMaxBacklog) s->sendTextMessage(QString::fromStdString(reply));
        });
        connect(s, &QWebSocket::binaryMessageReceived, this, [s](const QByteArray&) {
            s->sendTextMessage(QString::fromStdString(error_json("Send text messages (JSON), not binary ones.")));
        });
        connect(s, &QWebSocket::disconnected, this, [this, s] { drop(s); });
    }
}

void RemoteServer::drop(QWebSocket* s) {
    const auto it = clients_.find(s);
    if (it == clients_.end()) return;
    hub_.disconnect(it->second.id);
    clients_.erase(it);
    s->disconnect(this);
    s->abort();
    s->deleteLater();
}

void RemoteServer::push() {
    if (clients_.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    std::string meters;
    std::vector<QWebSocket*> stuck;
    for (auto& [s, c] : clients_) {
        if (!hub_.paired(c.id)) continue;
        if (s->bytesToWrite() > kMaxBacklog) {
            if (!c.stuck) c.stuck_since = now;
            c.stuck = true;
            if (now - c.stuck_since > std::chrono::milliseconds(kStuckMs)) stuck.push_back(s);
            continue;
        }
        c.stuck = false;
        const std::string state = hub_.take_state(c.id);
        if (!state.empty()) s->sendTextMessage(QString::fromStdString(state));
        if (meters.empty()) meters = hub_.meters();
        s->sendTextMessage(QString::fromStdString(meters));
    }
    for (QWebSocket* s : stuck) drop(s);
}

bool parse_listen_address(const std::string& text, std::string& address, int& port, std::string& error) {
    std::string host, digits = text;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos) {
            error = "--remote takes [ADDRESS:]PORT, e.g. 8080, 192.168.1.20:8080 or [::1]:8080.";
            return false;
        }
        host = text.substr(1, close - 1);
        digits = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        digits = text.substr(colon + 1);
    }
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(digits) > 65535) {
        error = "--remote needs a port 0..65535 (0: any free one), e.g. 8080, or 192.168.1.20:8080 to be reached from the network.";
        return false;
    }
    address = host.empty() ? "127.0.0.1" : host;
    port = std::stoi(digits);
    return true;
}

}  // namespace tw::remote
