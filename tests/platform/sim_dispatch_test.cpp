// SimConnect_CallDispatch and the lockstep handshake: records made inside a callback wait for the
// next dispatch, a throwing callback re-queues the rest and still acknowledges, dead and closed
// handles fail, QUIT comes once, and frame() never waits for ever.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/sim_probe.h"

using namespace simstandin;
using tvxtest::SimProbe;

namespace {

// The stand-in's own lockstep timeout (2 s): a frame that must go through does so on a loaded
// machine too.
class SimDispatch : public tvxtest::SimWorldTest {};

// A frame that must time out does so in 300 ms.
class SimDispatchShortTimeout : public tvxtest::SimWorldTest {
protected:
    Config config() const override
    {
        Config c;
        c.lockstepTimeout = std::chrono::milliseconds(300);
        return c;
    }
};

std::vector<DWORD> lf_ids(const SimProbe& p)
{
    std::vector<DWORD> ids;
    for (const auto& r : p.records())
        ids.push_back(r.id());
    return ids;
}

}  // namespace

TEST_F(SimDispatch, CallsInsideTheCallbackAnswerAtTheNextDispatch)
{
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
    // On each Frame event the client asks for the user's on-ground state, as a flush would.
    p.setHook([h](const SIMCONNECT_RECV* r) {
        if (r->dwID == SIMCONNECT_RECV_ID_EVENT_FRAME)
            SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_ONCE);
    });
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 7}));
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 7, 8}));
    const auto frames = p.recordsOf(SIMCONNECT_RECV_ID_EVENT_FRAME);
    ASSERT_EQ(frames.size(), 1u);
    const auto& frameEvent = frames[0].as<SIMCONNECT_RECV_EVENT_FRAME>();
    EXPECT_EQ(frameEvent.uEventID, 204u);
    EXPECT_FLOAT_EQ(frameEvent.fFrameRate, 50.0f);
    EXPECT_FLOAT_EQ(frameEvent.fSimSpeed, 1.0f);
}

TEST_F(SimDispatch, ThrowingCallbackRequeuesTheRestAndAcknowledges)
{
    std::atomic<int> seen{0};  // before the probe: its thread ends first
    SimProbe p;
    sim().injectRaw(10);
    sim().injectRaw(16);
    sim().injectRaw(27);
    p.setHook([&seen](const SIMCONNECT_RECV* r) {
        ++seen;
        if (r->dwID == 10)
            throw std::runtime_error("handler failed");
    });
    // OPEN, then 10 throws: the permit is still acknowledged, so deliver() does not time out.
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2}));
    // The acknowledgement comes before the exception leaves CallDispatch; wait (bounded) for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (p.thrown() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(p.thrown(), 1);
    // 16 and 27 were put back in front and come with the next dispatch, in order.
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 16, 27}));
    EXPECT_EQ(seen, 4);
}

TEST_F(SimDispatch, QuitComesOnceThenEveryCallFails)
{
    SimProbe p;
    HANDLE h = p.handle();
    sim().quit();
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 3}));
    EXPECT_TRUE(FAILED(SimConnect_CallDispatch(h, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr)));
    EXPECT_TRUE(FAILED(SimConnect_SubscribeToSystemEvent(h, 201, "Sim")));
    HANDLE again = nullptr;
    EXPECT_TRUE(FAILED(SimConnect_Open(&again, "Tavix", nullptr, 0, nullptr, 0)));  // simulator down
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 3}));
    EXPECT_EQ(sim().openConnections(), 0);
    p.keepOpenOnExit();  // Close on a dead handle fails; nothing to close
}

TEST_F(SimDispatch, BrokenConnectionFailsWithoutQuit)
{
    SimProbe p;
    HANDLE h = p.handle();
    ASSERT_TRUE(sim().deliver());
    sim().breakConnection();
    EXPECT_TRUE(FAILED(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 1000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)));
    DWORD packet = 77;
    EXPECT_TRUE(FAILED(SimConnect_GetLastSentPacketID(h, &packet)));
    EXPECT_EQ(packet, 77u);
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2}));
    p.keepOpenOnExit();
}

TEST_F(SimDispatch, BadAndClosedHandlesFailAsViolations)
{
    HANDLE h = nullptr;
    ASSERT_TRUE(SUCCEEDED(SimConnect_Open(&h, "Tavix", nullptr, 0, nullptr, 0)));
    ASSERT_TRUE(SUCCEEDED(SimConnect_Close(h)));
    EXPECT_EQ(sim().closes(), 1);
    EXPECT_TRUE(FAILED(SimConnect_Close(h)));
    EXPECT_TRUE(FAILED(SimConnect_AIReleaseControl(reinterpret_cast<HANDLE>(0x1234), 1001, 103)));
    sim().expectViolation("Close on a closed handle");
    sim().expectViolation("AIReleaseControl with a bad handle");
}

TEST_F(SimDispatch, ScriptedFailuresUseNoPacketAndScriptedExceptionsCarryOne)
{
    SimProbe p;
    HANDLE h = p.handle();
    sim().failCalls(Call::RequestDataOnSimObjectType, 2);
    sim().raiseOnNextCall(Call::SubscribeToSystemEvent, 42, 1);
    const DWORD before = p.lastPacket();
    EXPECT_TRUE(FAILED(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 1000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)));
    EXPECT_TRUE(FAILED(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 1000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)));
    EXPECT_EQ(p.lastPacket(), before);
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    const DWORD subscribe = p.lastPacket();
    EXPECT_EQ(subscribe, before + 1);
    ASSERT_TRUE(sim().deliver());
    EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{{42, subscribe, 1}}));
    const auto failed = sim().calls(Call::RequestDataOnSimObjectType);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].result, E_FAIL);
    EXPECT_EQ(failed[0].packet, 0u);
}

TEST_F(SimDispatch, OpenFailsWhileDownOrScriptedAndAnnouncesTheApplication)
{
    sim().failNextOpens(2);
    sim().setApplication("SunRise", {1, 2, 3, 4});
    sim().armVersionMismatch(3);
    HANDLE h = nullptr;
    EXPECT_TRUE(FAILED(SimConnect_Open(&h, "Tavix", nullptr, 0, nullptr, 0)));
    EXPECT_TRUE(FAILED(SimConnect_Open(&h, "Tavix", nullptr, 0, nullptr, 0)));
    SimProbe p;
    ASSERT_TRUE(p.opened());
    EXPECT_EQ(sim().opensAttempted(), 3);
    ASSERT_TRUE(sim().deliver());
    const auto opens = p.recordsOf(SIMCONNECT_RECV_ID_OPEN);
    ASSERT_EQ(opens.size(), 1u);
    const auto& o = opens[0].as<SIMCONNECT_RECV_OPEN>();
    EXPECT_STREQ(o.szApplicationName, "SunRise");
    EXPECT_EQ(o.dwApplicationVersionMajor, 1u);
    EXPECT_EQ(o.dwApplicationVersionMinor, 2u);
    EXPECT_EQ(o.dwApplicationBuildMajor, 3u);
    EXPECT_EQ(o.dwApplicationBuildMinor, 4u);
    EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{{5, 0, 3}}));
}

TEST_F(SimDispatch, FrameWithoutDispatcherReturnsFalseAtOnce)
{
    Config c;
    c.lockstepTimeout = std::chrono::seconds(30);
    sim().reset(c);
    HANDLE h = nullptr;
    ASSERT_TRUE(SUCCEEDED(SimConnect_Open(&h, "Tavix", nullptr, 0, nullptr, 0)));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sim().frame());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // not the 30 s timeout
    EXPECT_NE(sim().lastError().find("no live dispatcher"), std::string::npos) << sim().lastError();
    EXPECT_EQ(sim().frameCount(), 1u);  // the world advanced all the same
    SimConnect_Close(h);
}

TEST_F(SimDispatchShortTimeout, FrameTimesOutWhileTheHandlerWaitsForAHeldLock)
{
    std::mutex programLock;  // before the probe: its thread ends first
    std::atomic<bool> handled{false};
    SimProbe p;
    p.setHook([&programLock, &handled](const SIMCONNECT_RECV* r) {
        if (r->dwID == SIMCONNECT_RECV_ID_EVENT) {
            std::lock_guard lock(programLock);  // like a handler that needs the SimConnect mutex
            handled = true;
        }
    });
    SimConnect_SubscribeToSystemEvent(p.handle(), 201, "Sim");
    {
        std::lock_guard held(programLock);
        EXPECT_FALSE(sim().frame());
        EXPECT_NE(sim().lastError().find("dispatcher did not acknowledge within 300 ms (program lock held?)"),
                  std::string::npos)
            << sim().lastError();
    }
    // Once the lock is free the handler finishes and the next frame goes through.
    while (!handled)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(sim().frame()) << sim().lastError();
}

TEST_F(SimDispatch, FreeRunningFramesAdvanceOnTheirOwnClock)
{
    Config c;
    c.mode = Mode::FreeRunning;
    c.fps = 200.0f;
    sim().reset(c);
    SimProbe p;
    SimConnect_SubscribeToSystemEvent(p.handle(), 204, "Frame");
    // Eventual facts only: frames come without frame() calls, and in order.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (p.recordsOf(SIMCONNECT_RECV_ID_EVENT_FRAME).size() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GE(p.recordsOf(SIMCONNECT_RECV_ID_EVENT_FRAME).size(), 5u);
    EXPECT_GE(sim().frameCount(), 5u);
}

TEST_F(SimDispatch, FrameGivesUpOnADispatcherThatStoppedPolling)
{
    Config c;
    c.lockstepTimeout = std::chrono::seconds(30);
    sim().reset(c);
    SimProbe p;
    ASSERT_TRUE(sim().frame());
    p.stop();  // the client thread ends without closing, as after error 71
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sim().frame());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(sim().frame());
    EXPECT_NE(sim().lastError().find("no live dispatcher"), std::string::npos) << sim().lastError();
}

TEST_F(SimDispatch, WorldChangesSendTheirRecords)
{
    sim().addTitle("Known A320");
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");  // the current state comes at once: menu
    SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, 203, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, 205, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, 206, "Crashed");
    sim().startFlight();
    SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 0, 0, 0};
    SimConnect_AICreateNonATCAircraft(h, "Known A320", "X1", init, 104);
    ASSERT_TRUE(sim().frame());
    const auto own = sim().objectByAtcId("X1")->id;
    sim().fireSystemEvent("crashed", 1);  // system event names match without regard to case
    sim().loadFlight("C:\\flights\\a.FLT");
    sim().endFlight();
    ASSERT_TRUE(sim().deliver());
    struct Seen {
        DWORD id, eventId, data;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    for (const auto& r : p.records())
        if (r.id() >= SIMCONNECT_RECV_ID_EVENT && r.id() <= SIMCONNECT_RECV_ID_EVENT_FILENAME) {
            const auto& e = r.as<SIMCONNECT_RECV_EVENT>();
            seen.push_back({r.id(), e.uEventID, e.dwData});
        }
    const std::vector<Seen> expected{{4, 201, 0}, {4, 201, 1}, {5, 202, own}, {4, 206, 1},
                                     {6, 205, 0}, {4, 201, 0}, {5, 203, own}};
    EXPECT_EQ(seen, expected);
    const auto files = p.recordsOf(SIMCONNECT_RECV_ID_EVENT_FILENAME);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_STREQ(files[0].as<SIMCONNECT_RECV_EVENT_FILENAME>().szFileName, "C:\\flights\\a.FLT");
    EXPECT_TRUE(sim().objects().empty());
    EXPECT_FALSE(sim().flightRunning());
}

TEST_F(SimDispatch, ClosingRemovesTheClientsObjectsForTheOthers)
{
    sim().addTitle("Known A320");
    SimProbe watcher;
    SimConnect_SubscribeToSystemEvent(watcher.handle(), 203, "ObjectRemoved");
    std::uint32_t id = 0;
    {
        SimProbe owner;
        SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 0, 0, 0};
        SimConnect_AICreateNonATCAircraft(owner.handle(), "Known A320", "GONE1", init, 104);
        ASSERT_TRUE(sim().frame());
        id = sim().objectByAtcId("GONE1")->id;
    }  // closes
    ASSERT_TRUE(sim().deliver());
    EXPECT_FALSE(sim().object(id));
    const auto removed = watcher.recordsOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT>().dwData, id);
    EXPECT_EQ(sim().openConnections(), 1);
}

TEST_F(SimDispatch, OutboxCapAndDispatchBatchLimit)
{
    Config c;
    c.outboxCap = 4;
    c.maxMessagesPerDispatch = 2;
    sim().reset(c);
    SimProbe p;  // OPEN waits in the outbox
    for (int i = 0; i < 5; ++i)
        sim().injectRaw(16);
    EXPECT_EQ(sim().droppedRecords(), 2u);
    ASSERT_TRUE(sim().deliver());
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 16}));
    ASSERT_TRUE(sim().deliver());
    ASSERT_TRUE(sim().deliver());
    EXPECT_EQ(lf_ids(p), (std::vector<DWORD>{2, 16, 16, 16}));
}
