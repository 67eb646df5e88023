#pragma once
// The network side of the server: HTTP through cpp-httplib, every request
// handed whole to the request handling (ServerCore.h), with the limits and
// timeouts that keep slow or idle clients from holding the server.
#include <memory>
#include <string>

#include "ServerCore.h"

namespace kestrel::server {

struct HttpSettings {
    std::string address = "0.0.0.0";
    int port = 8080;
    // Connections served at once: a kept-alive connection holds its thread
    // until it has been idle for keepAliveSeconds, so every tablet of a
    // classroom needs one.
    int threads = 96;
    int readTimeoutSeconds = 5;   // a client slower than this to send is dropped
    int writeTimeoutSeconds = 10; // ... or to take the response
    int keepAliveSeconds = 3;     // an idle connection is closed after this
    int keepAliveRequests = 100;  // requests on one connection
};

class HttpFront {
public:
    HttpFront(Server& server, const ServerLimits& limits, HttpSettings settings);
    ~HttpFront();
    // Binds the address and port; false with `error` set when it cannot.
    bool bind(std::string& error);
    int port() const;
    // Serves until stop(); returns at once when not bound.
    void serve();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kestrel::server
