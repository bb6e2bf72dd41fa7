// libcurl behind WebTransport; see web_transport.h. Threads: the owning thread only; the count of
// open handles from any thread.
#include "traffic_service/web_transport.h"

#include <curl/curl.h>

#include <mutex>

#include "foundation/log.h"

namespace {

std::once_flag g_curlInit;
std::atomic<int> g_openTransports{0};
// Trivially destructible on purpose: nothing of it runs at thread exit.
thread_local WebTransport* t_threadTransport = nullptr;

struct TransferState {
    std::string* body = nullptr;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    const std::atomic<bool>* abort = nullptr;
};

std::size_t lf_writeBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* state = static_cast<TransferState*>(user);
    const std::size_t bytes = size * count;
    if (state->body->size() + bytes > state->maxBytes) {
        state->tooLarge = true;
        return 0;  // ends the transfer with a write error
    }
    state->body->append(data, bytes);
    return bytes;
}

int lf_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* state = static_cast<TransferState*>(user);
    return state->abort && state->abort->load() ? 1 : 0;
}

bool lf_unreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
        || c == '.' || c == '~';
}

void lf_appendEncoded(std::string& out, const std::string& text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (char c : text) {
        if (lf_unreserved(c)) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
}

}  // namespace

std::string gf_formBody(const FormFields& form)
{
    std::string body;
    for (const auto& [name, value] : form) {
        if (!body.empty())
            body += '&';
        lf_appendEncoded(body, name);
        body += '=';
        lf_appendEncoded(body, value);
    }
    return body;
}

WebTransport::WebTransport()
{
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    if (m_curl)
        ++g_openTransports;
}

WebTransport::~WebTransport()
{
    if (m_curl) {
        curl_easy_cleanup(static_cast<CURL*>(m_curl));
        --g_openTransports;
    }
}

WebReply WebTransport::post(const std::string& url, const FormFields& form, const TransportLimits& limits,
                            const std::atomic<bool>* abort)
{
    WebReply reply;
    auto* curl = static_cast<CURL*>(m_curl);
    if (!curl) {
        reply.error = "no transfer handle";
        return reply;
    }
    const std::string body = gf_formBody(form);
    TransferState state{&reply.body, limits.maxBodyBytes, false, abort};
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, g_productName);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.transferTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.httpStatus);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_OK)
        return reply;
    if (state.tooLarge)
        reply.error = tvx::format("reply larger than {} bytes", limits.maxBodyBytes);
    else if (rc == CURLE_ABORTED_BY_CALLBACK)
        reply.error = "aborted";
    else
        reply.error = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(rc));
    return reply;
}

ThreadTransport::ThreadTransport() : m_outer(t_threadTransport)
{
    t_threadTransport = &m_transport;
}

ThreadTransport::~ThreadTransport()
{
    t_threadTransport = m_outer;
}

WebTransport* gf_threadTransport()
{
    return t_threadTransport;
}

int gf_openTransports()
{
    return g_openTransports.load();
}
