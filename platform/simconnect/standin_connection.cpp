// Connections of the stand-in simulator: SimConnect_Open, SimConnect_Close and
// SimConnect_CallDispatch (lockstep permits or free-running frames), the handle encoding and the
// prologue every other entry point shares (handle check, scripted failures, packet ids, call log).
//
// Called on any of the program's threads with World::mutex taken here; CallDispatch releases it
// before calling the program's callback and takes it again afterwards.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include <chrono>

#include <fmt/format.h>

#include "simconnect/SimConnect.h"
#include "simconnect/standin_world.h"

namespace simstandin {

namespace {

constexpr std::uintptr_t kHandleBase = 0x7A000000u;
std::uint32_t g_connectionCounter = 0;  // guarded by World::mutex; never reset, ids never reused

}  // namespace

HANDLE gf_handleOf(std::uint32_t id)
{
    return reinterpret_cast<HANDLE>(kHandleBase + id);
}

std::uint32_t gf_idOf(HANDLE h)
{
    const auto v = reinterpret_cast<std::uintptr_t>(h);
    if (v <= kHandleBase || v - kHandleBase > 0xFFFFFFFFu)
        return 0;
    return static_cast<std::uint32_t>(v - kHandleBase);
}

std::string gf_callText(const char* s)
{
    return s ? std::string(s) : std::string("(null)");
}


Connection* gf_connection(World& w, HANDLE h, Call call, const CallArgs& args)
{
    w.ensureConfigured();
    auto it = w.connections.find(gf_idOf(h));
    if (it == w.connections.end()) {
        w.violation(fmt::format("{} with a bad handle", callName(call)));
        w.logCall(0, call, args, E_FAIL, 0);
        return nullptr;
    }
    Connection& c = it->second;
    if (c.state == Connection::Closed) {
        w.violation(fmt::format("{} on a closed handle", callName(call)));
        w.logCall(c.id, call, args, E_FAIL, 0);
        return nullptr;
    }
    if (c.state == Connection::Dead) {
        w.logCall(c.id, call, args, E_FAIL, 0);
        return nullptr;
    }
    auto s = w.scripted.find(call);
    if (s != w.scripted.end() && s->second.failCount > 0) {
        --s->second.failCount;
        w.logCall(c.id, call, args, E_FAIL, 0);
        return nullptr;
    }
    return &c;
}


std::uint32_t gf_succeed(World& w, Connection& c, Call call, CallArgs args)
{
    const std::uint32_t packet = ++c.packet;
    w.logCall(c.id, call, std::move(args), S_OK, packet);
    auto s = w.scripted.find(call);
    if (s != w.scripted.end() && s->second.raiseCount > 0) {
        --s->second.raiseCount;
        w.queueException(c, s->second.exception, packet, s->second.index);
    }
    return packet;
}

namespace {

void lf_freeRunFrames(World& w)
{
    using namespace std::chrono;
    const auto now = steady_clock::now();
    if (w.lastFreeFrame == steady_clock::time_point{}) {
        w.lastFreeFrame = now;
        return;
    }
    const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / w.fps));
    const auto due = (now - w.lastFreeFrame) / period;
    if (due <= 0)
        return;
    const long long run = std::min<long long>(due, 3);
    for (long long i = 0; i < run; ++i)
        w.advanceFrame();
    if (due > 3) {
        w.skippedFrames += static_cast<std::uint64_t>(due - 3);
        w.lastFreeFrame = now;
    } else {
        w.lastFreeFrame += period * due;
    }
    if (!w.traceDir.empty() && now - w.lastTrace > seconds(10)) {
        w.lastTrace = now;
        try {
            w.writeTraceLocked(w.traceDir);
        } catch (const std::exception& e) {
            w.warning(fmt::format("trace not written: {}", e.what()));
        }
    }
}

}  // namespace

}  // namespace simstandin

using namespace simstandin;

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD ConfigIndex)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    w.ensureConfigured();
    ++w.opensAttempted;
    const std::string args = fmt::format("{}, config {}", gf_callText(szName), ConfigIndex);
    auto s = w.scripted.find(Call::Open);
    const bool scriptedFail = s != w.scripted.end() && s->second.failCount > 0;
    if (scriptedFail)
        --s->second.failCount;
    if (!phSimConnect || !w.simUp || w.opensToFail > 0 || scriptedFail) {
        if (w.opensToFail > 0 && !scriptedFail && w.simUp)
            --w.opensToFail;
        w.logCall(0, Call::Open, args, E_FAIL, 0);
        return E_FAIL;
    }
    Connection c;
    c.id = ++g_connectionCounter;
    const std::uint32_t id = c.id;
    auto& conn = w.connections.emplace(id, std::move(c)).first->second;
    w.newestConnection = id;
    *phSimConnect = gf_handleOf(id);
    w.push(conn, w.makeOpen());
    if (w.versionMismatchIndex) {
        w.push(conn, w.makeException(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, *w.versionMismatchIndex));
        w.versionMismatchIndex.reset();
    }
    w.logCall(id, Call::Open, args, S_OK, 0);
    return S_OK;
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    Connection* c = gf_connection(w, hSimConnect, Call::Close, "");
    if (!c)
        return E_FAIL;
    c->state = Connection::Closed;
    c->outbox.clear();
    c->deferred.clear();
    c->periodic.clear();
    ++w.closes;
    w.logCall(c->id, Call::Close, "", S_OK, 0);
    if (w.cfg.removeObjectsOnClose) {
        std::vector<std::uint32_t> own;
        for (const auto& [id, o] : w.objects)
            if (o.owner == c->id)
                own.push_back(id);
        for (auto id : own)
            w.removeObject(id, 0);
    }
    w.cv.notify_all();
    return S_OK;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    World& w = gf_world();
    CpuMeter meter(w);
    std::unique_lock lock(w.mutex);
    w.ensureConfigured();
    const std::uint32_t id = gf_idOf(hSimConnect);
    auto find = [&]() -> Connection* {
        auto it = w.connections.find(id);
        return it == w.connections.end() ? nullptr : &it->second;
    };
    Connection* c = find();
    if (!c) {
        w.violation("CallDispatch with a bad handle");
        return E_FAIL;
    }
    if (c->state == Connection::Closed) {
        w.violation("CallDispatch on a closed handle");
        return E_FAIL;
    }
    if (c->state == Connection::Dead && !c->quitPending)
        return E_FAIL;
    c->lastDispatch = std::chrono::steady_clock::now();
    std::uint64_t permit = 0;
    if (w.cfg.mode == Mode::FreeRunning) {
        lf_freeRunFrames(w);
    } else {
        w.cv.notify_all();  // a test may be waiting for a live dispatcher
        meter.pause();  // waiting for the next frame is no work
        w.cv.wait_for(lock, std::chrono::milliseconds(5), [&] {
            Connection* cc = find();
            return !cc || cc->taken < cc->permits;
        });
        meter.resume();
        c = find();
        if (!c || c->taken >= c->permits)
            return S_OK;
        permit = c->taken = c->permits;
    }
    if (!pfcnDispatch) {
        c->acked = std::max(c->acked, permit);
        w.cv.notify_all();
        return E_FAIL;
    }
    const std::size_t n = w.cfg.maxMessagesPerDispatch ? std::min(w.cfg.maxMessagesPerDispatch, c->outbox.size())
                                                       : c->outbox.size();
    if (n == 0) {
        // Most dispatches of the program's 1 ms wake find nothing to deliver: acknowledged at once,
        // with the lock and the meter kept.
        if (c->state == Connection::Dead)
            c->quitPending = false;
        c->acked = std::max(c->acked, permit);
        c->lastDispatch = std::chrono::steady_clock::now();
        w.cv.notify_all();
        return S_OK;
    }
    std::vector<std::shared_ptr<Record>> batch;
    batch.assign(c->outbox.begin(), c->outbox.begin() + static_cast<std::ptrdiff_t>(n));
    c->outbox.erase(c->outbox.begin(), c->outbox.begin() + static_cast<std::ptrdiff_t>(n));
    if (c->state == Connection::Dead && c->outbox.empty())
        c->quitPending = false;  // the QUIT goes out with this batch
    c->inDispatch = true;
    lock.unlock();
    meter.pause();  // the program's callback is the program's time

    auto finish = [&](std::size_t requeueFrom) {
        if (!lock.owns_lock()) {
            meter.resume();
            lock.lock();
        }
        if (Connection* cc = find()) {
            for (std::size_t i = batch.size(); i > requeueFrom; --i)
                cc->outbox.push_front(batch[i - 1]);
            if (cc->state == Connection::Dead && !cc->outbox.empty())
                cc->quitPending = true;
            cc->inDispatch = false;
            cc->acked = std::max(cc->acked, permit);
            cc->lastDispatch = std::chrono::steady_clock::now();
        }
        w.cv.notify_all();
    };
    std::size_t i = 0;
    try {
        for (; i < batch.size(); ++i)
            pfcnDispatch(batch[i]->recv(), batch[i]->recv()->dwSize, pContext);
    } catch (...) {
        finish(i + 1);  // the record that threw counts as delivered
        throw;
    }
    finish(batch.size());
    return S_OK;
}

#endif  // TAVIX_SIM_SDK
