#include "HttpFront.h"

#include <httplib.h>

#include "platform/ListeningSocket.h"

namespace kestrel::server {

// A classroom's tablets connecting at once all wait to be accepted.
constexpr int kListenBacklog = 256;

struct HttpFront::Impl {
    Impl(Server& s, const ServerLimits& l, HttpSettings h)
        : server(s), limits(l), settings(std::move(h)) {}
    Server& server;
    ServerLimits limits;
    HttpSettings settings;
    httplib::Server http;
    int port = -1;
    NativeSocket socket = 0;
};

HttpFront::HttpFront(Server& server, const ServerLimits& limits, HttpSettings settings)
    : m_impl(std::make_unique<Impl>(server, limits, std::move(settings))) {
    httplib::Server& http = m_impl->http;
    const HttpSettings& s = m_impl->settings;
    const int threads = s.threads;
    http.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    // A body is read only up to the limit: a larger one is refused unread.
    http.set_payload_max_length(limits.maxBodyBytes);
    http.set_read_timeout(s.readTimeoutSeconds, 0);
    http.set_write_timeout(s.writeTimeoutSeconds, 0);
    http.set_keep_alive_timeout(s.keepAliveSeconds);
    http.set_keep_alive_max_count(static_cast<size_t>(s.keepAliveRequests));
    http.set_tcp_nodelay(true);
    Impl& impl = *m_impl;
    http.set_socket_options([&impl](socket_t socket) {
        impl.socket = static_cast<NativeSocket>(socket);
        reuseListeningAddress(impl.socket);
    });

    // Every request goes to the request handling, once the library has read
    // its body; the library's own file serving is never used.
    Server& core = m_impl->server;
    const auto handler = [&core](const httplib::Request& req, httplib::Response& res) {
        Request r;
        r.method = req.method;
        r.path = req.path;
        for (const auto& [k, v] : req.params)
            r.query.emplace_back(k, v);
        for (const auto& [k, v] : req.headers)
            r.headers.emplace_back(k, v);
        r.body = req.body;
        r.client = req.remote_addr;
        Response out = core.handle(r);
        res.status = out.status;
        for (const auto& [k, v] : out.headers)
            res.set_header(k, v);
        res.set_content(std::move(out.body), out.contentType);
    };
    const std::string any = ".*";
    http.Get(any, handler);
    http.Post(any, handler);
    http.Put(any, handler);
    http.Patch(any, handler);
    http.Delete(any, handler);
    http.Options(any, handler);
    // What the library refuses itself (a body over the limit, a malformed
    // request line) is answered in the same form as the server's errors.
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        const char* text = res.status == 413 ? "要求が大きすぎます" : "要求が正しくありません";
        res.set_content(std::string("{\"error\":\"") + text + "\"}",
                        "application/json; charset=utf-8");
    });
}

HttpFront::~HttpFront() = default;

bool HttpFront::bind(std::string& error) {
    Impl& m = *m_impl;
    if (m.settings.port == 0)
        m.port = m.http.bind_to_any_port(m.settings.address);
    else
        m.port = m.http.bind_to_port(m.settings.address, m.settings.port) ? m.settings.port : -1;
    if (m.port > 0) raiseListenBacklog(m.socket, kListenBacklog);
    if (m.port <= 0) {
        error = m.settings.address + " のポート " + std::to_string(m.settings.port) +
                " で待ち受けできません（ほかのプログラムが使っているか、アドレスがこのコンピュータ"
                "のものではありません）。";
        return false;
    }
    return true;
}

int HttpFront::port() const {
    return m_impl->port;
}

void HttpFront::serve() {
    if (m_impl->port > 0) m_impl->http.listen_after_bind();
}

void HttpFront::stop() {
    m_impl->http.stop();
}

} // namespace kestrel::server
