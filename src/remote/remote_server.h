// The phone remote's transport: an HTTP server that hands out the files of
// html/remote/ (read once at start, so no name a client sends ever reaches
// the file system) and takes WebSocket connections on the same port, each
// passed to the remote::Hub. Every 50 ms each paired phone gets the meters
// and, when it changed, the state. Qt Core and Network only, no widgets; the
// window and tonewarp-live both use it.
//
// Threads: UI thread only (the thread that runs the window's models and the
// Qt event loop; tonewarp-live's main loop calls poll()).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "app/remote/remote_hub.h"

class QWebSocket;

namespace tw::remote {

class HttpFiles;

class RemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kPushMs = 50;
    // A phone whose socket holds more unsent bytes than this gets nothing
    // more until it reads; one stuck longer than kStuckMs is closed.
    static constexpr qint64 kMaxBacklog = 256 * 1024;
    static constexpr int kStuckMs = 10000;
    // Messages longer than this close the connection (the hub refuses the
    // ones above kMaxMessageBytes with a message, the connection kept).
    static constexpr quint64 kMaxTransportMessage = 2 * 1024 * 1024;

    // `folder`: where index.html and its neighbours are. UI thread.
    RemoteServer(Hub& hub, std::string folder, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on `address` (an IPv4 or IPv6 address, "localhost" or "" for
    // 127.0.0.1) and `port` (0: any free port). False with a sentence in
    // `error`. UI thread.
    bool listen(const std::string& address, int port, std::string& error);
    void stop();
    bool listening() const;
    // The port listened on, and the address to open in a browser
    // ("http://127.0.0.1:8080/"). UI thread.
    int port() const { return port_; }
    std::string url() const;

    // Runs the events that arrived (for a main loop that is not Qt's). UI thread.
    static void poll();

private:
    void accept_sockets();
    void push();
    void drop(QWebSocket* s);

    struct Client {
        int id = 0;
        std::chrono::steady_clock::time_point stuck_since{};
        bool stuck = false;
    };
    Hub& hub_;
    std::unique_ptr<HttpFiles> http_;
    std::map<QWebSocket*, Client> clients_;
    QTimer timer_;
    std::string host_;
    int port_ = 0;
};

// Splits "[ADDRESS:]PORT" ("8080", "0.0.0.0:8080", "[::1]:8080"; no
// address: 127.0.0.1; port 0: any free one): false with a sentence when the
// port is not 0..65535. Any thread.
bool parse_listen_address(const std::string& text, std::string& address, int& port, std::string& error);

}  // namespace tw::remote
