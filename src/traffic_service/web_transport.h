// One libcurl easy handle that POSTs form bodies to the traffic service and returns the reply.
// A thread that polls the service holds a ThreadTransport for its loop, so its requests reuse one
// handle and its connections, never shared with another thread. Replies are asked for in gzip only (the
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

// The calling thread's own transport while this lives on that thread's stack. The handle is freed
// when the scope ends, on its thread and before the thread tells anyone it has ended, so no handle
// outlives the program's curl_global_cleanup (a handle freed at thread exit, after a detached
// thread had signalled its end, could: a crash at exit on Windows).
class ThreadTransport {
public:
    ThreadTransport();
    ~ThreadTransport();
    ThreadTransport(const ThreadTransport&) = delete;
    ThreadTransport& operator=(const ThreadTransport&) = delete;

private:
    WebTransport m_transport;
    WebTransport* m_outer;
};

// The transport of the calling thread's innermost ThreadTransport; nullptr when it has none.
WebTransport* gf_threadTransport();

// Transfer handles alive now, in all threads.
int gf_openTransports();

// "a=1&b=x%20y": the form body, each name and value percent-encoded.
std::string gf_formBody(const FormFields& form);
