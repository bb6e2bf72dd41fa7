// One libcurl easy handle that POSTs form bodies to the traffic service and returns the reply.
// Each thread that talks to the service keeps its own handle (gf_threadTransport), so
// connections are reused per thread and never shared. Replies are asked for in gzip only (the
// service asks for it; other encodings make some servers answer slowly), decoded by libcurl.
//
// Threads: a WebTransport belongs to the thread that made it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

using FormFields = std::vector<std::pair<std::string, std::string>>;

struct WebReply {
    long httpStatus = 0;      // 0 when no reply arrived
    std::string body;
    std::string error;        // empty on a completed transfer, else what went wrong
    bool ok() const { return error.empty(); }
};

struct TransportLimits {
    long connectTimeoutMs = 5000;
    long transferTimeoutMs = 20000;
    std::size_t maxBodyBytes = 64u << 20;  // a reply beyond this is cut off as broken
};

class WebTransport {
public:
    WebTransport();
    ~WebTransport();
    WebTransport(const WebTransport&) = delete;
    WebTransport& operator=(const WebTransport&) = delete;

    // POSTs the form (application/x-www-form-urlencoded) to the URL. A set abort flag ends a
    // running transfer early (error "aborted").
    WebReply post(const std::string& url, const FormFields& form, const TransportLimits& limits,
                  const std::atomic<bool>* abort);

private:
    void* m_curl = nullptr;  // CURL*
};

// This thread's transport, made on first use.
WebTransport& gf_threadTransport();

// "a=1&b=x%20y": the form body, each name and value percent-encoded.
std::string gf_formBody(const FormFields& form);
