// A minimal SimConnect client for tests against the stand-in simulator: it opens a connection on
// the test thread, polls SimConnect_CallDispatch every millisecond on its own thread (as the
// program's simulator client does), keeps a copy of every record it receives and can run a hook
// inside the dispatch. Header-only, so any test program can use it without link-order concerns.
//
// Threads: the constructor, the accessors and the destructor run on the test thread; the hook runs
// on the probe's dispatch thread. The record list has its own mutex.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "simconnect/SimConnect.h"
#include "simconnect/standin_sim.h"

namespace tvxtest {

// One received record, copied into 8-byte aligned storage.
class SimRecord {
public:
    explicit SimRecord(const SIMCONNECT_RECV* r) : m_words((r->dwSize + 7) / 8)
    {
        std::memcpy(m_words.data(), r, r->dwSize);
    }
    DWORD id() const { return as<SIMCONNECT_RECV>().dwID; }
    DWORD size() const { return as<SIMCONNECT_RECV>().dwSize; }
    template <class T>
    const T& as() const
    {
        return *reinterpret_cast<const T*>(m_words.data());
    }
    // The data block of a SIMOBJECT_DATA(_BYTYPE) record.
    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(m_words.data()) + 40; }
    template <class T>
    T at(std::size_t offset) const
    {
        T v;
        std::memcpy(&v, data() + offset, sizeof v);
        return v;
    }

private:
    std::vector<std::uint64_t> m_words;
};

class SimProbe {
public:
    using Hook = std::function<void(const SIMCONNECT_RECV*)>;

    // Opens a connection; with startThread, the dispatch thread starts at once.
    explicit SimProbe(bool startThread = true)
    {
        m_opened = SUCCEEDED(SimConnect_Open(&m_handle, "Probe", nullptr, 0, nullptr, 0));
        if (m_opened && startThread)
            start();
    }
    ~SimProbe()
    {
        stop();
        if (m_opened && m_closeOnExit)
            SimConnect_Close(m_handle);
    }
    SimProbe(const SimProbe&) = delete;
    SimProbe& operator=(const SimProbe&) = delete;

    bool opened() const { return m_opened; }
    HANDLE handle() const { return m_handle; }
    void keepOpenOnExit() { m_closeOnExit = false; }

    void start()
    {
        m_thread = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                try {
                    SimConnect_CallDispatch(m_handle, &SimProbe::lf_dispatch, this);
                } catch (...) {
                    ++m_thrown;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        EXPECT_TRUE(simstandin::sim().waitForDispatcher(std::chrono::seconds(5))) << simstandin::sim().lastError();
    }
    void stop()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
    }

    // Runs inside the dispatch, before the record is stored; may throw.
    void setHook(Hook hook)
    {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }
    int thrown() const { return m_thrown.load(); }

    std::vector<SimRecord> records() const
    {
        std::lock_guard lock(m_mutex);
        return m_records;
    }
    std::vector<SimRecord> recordsOf(DWORD id) const
    {
        std::vector<SimRecord> out;
        for (const auto& r : records())
            if (r.id() == id)
                out.push_back(r);
        return out;
    }
    // Exceptions received, as (exception, send id, index).
    std::vector<std::array<DWORD, 3>> exceptions() const
    {
        std::vector<std::array<DWORD, 3>> out;
        for (const auto& r : recordsOf(SIMCONNECT_RECV_ID_EXCEPTION)) {
            const auto& e = r.as<SIMCONNECT_RECV_EXCEPTION>();
            out.push_back({e.dwException, e.dwSendID, e.dwIndex});
        }
        return out;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_records.clear();
    }
    DWORD lastPacket() const
    {
        DWORD id = 0;
        EXPECT_TRUE(SUCCEEDED(SimConnect_GetLastSentPacketID(m_handle, &id)));
        return id;
    }

private:
    static void CALLBACK lf_dispatch(SIMCONNECT_RECV* data, DWORD, void* context)
    {
        auto* self = static_cast<SimProbe*>(context);
        Hook hook;
        {
            std::lock_guard lock(self->m_mutex);
            hook = self->m_hook;
        }
        if (hook)
            hook(data);
        std::lock_guard lock(self->m_mutex);
        self->m_records.emplace_back(data);
    }

    HANDLE m_handle = nullptr;
    bool m_opened = false;
    bool m_closeOnExit = true;
    mutable std::mutex m_mutex;
    std::vector<SimRecord> m_records;  // guarded by m_mutex
    Hook m_hook;                       // guarded by m_mutex
    std::atomic<int> m_thrown{0};
    std::jthread m_thread;
};

// Fixture: a fresh lockstep world at 50 fps; at the end no undeclared violation may remain.
class SimWorldTest : public ::testing::Test {
protected:
    void SetUp() override { simstandin::sim().reset(config()); }
    void TearDown() override
    {
        const auto left = simstandin::sim().takeUnexpectedViolations();
        EXPECT_TRUE(left.empty()) << "stand-in violations:\n" << ::testing::PrintToString(left);
    }
    virtual simstandin::Config config() const { return {}; }
};

}  // namespace tvxtest
