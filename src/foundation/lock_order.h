// The program's locks in one table, in nesting order, and the main-loop thread check.
//
// A thread holding a lock of the table may take only locks that come after it: never one above,
// never the same one twice (all are plain std::mutex). Locks marked "alone" are taken with no
// other lock of the table held and hold none inside. "leaf" locks hold nothing while taken, so
// they may be taken under any lock above them. Code that runs under a lock and calls out (a log
// line, a status line, a repaint) is listed with the locks it reaches. A new mutex goes into this
// table with what it guards.
//
//  #  mutex (file)                               guards                                    takes inside
//  -- ----------------------------------------- ----------------------------------------- -------------------
//  Thread life (alone)
//  1  g_threadsMutex (app/startup.cpp)          the start-up and SimConnect thread         - (joins happen
//                                               handles                                    after release)
//  2  g_exitThreadMutex (app/exit.cpp)          the exit thread's handle                   - (leaf; the old
//                                                                                          thread is joined
//                                                                                          after release)
//  3  g_mainLoopMutex (app/exit.cpp)            the main loop's started/ended handshake    - (leaf, cv wait)
//  Traffic readers (reader threads)
//  4  g_readersMutex (traffic_service/readers)  running reader count, fatal-reported flag  - (leaf)
//  5  TrafficClient::m_sessionMutex             one login at a time                        6, 24 (held
//                                                                                           across the login)
//  6  TrafficClient::m_mutex                    session id, rates, failures, fatal text,   - (leaf, cv wait)
//                                               reference elevation, park airport, station
//  7  TrafficClient::m_bufferMutex              callsigns and hexids of the history buffers - (leaf)
//                                               and the parked list handed to the main loop
//  Add-on airport scan (scan worker)
//  8  g_publisherMutex (parking/archive_links)  publisher detection and linking             9, 10, 24
//  9  g_generateMutex (parking/archive_links)   writing a generated airport file           24
//  10 g_scanMessagesMutex (parking/addon_scan)  the scan log lines                         24 (writes the file)
//  Main loop and SimConnect thread
//  11 g_udpMutex (simulator/feed_handover)      the live batch handed over, history        12, 13, 14..24
//                                               batches waiting, main-loop-started flag;   (records are
//                                               held while the main loop applies records   applied under it)
//  12 g_simEventMutex (simulator/sim_events)    g_simEvents, g_pendingObjects; held by      13, 14..24
//                                               gf_SimCommands across every handler
//  13 g_simConnectMutex                         the create/remove/event queues, the send   20, 21, 24
//     (simulator/command_queues)                side of the position buffers, g_hSimConnect
//                                               and every SimConnect call outside dispatch
//  Leaves of the simulator link
//  14 g_nearestMutex (parking/stand_search)     published stand points, last nearest answer - (leaf)
//  15 g_userMutex (simulator/user_aircraft)     the user aircraft's state and texts        - (leaf)
//  16 g_simTextMutex (simulator/sim_client)     the simulator version text                 - (leaf)
//  17 g_queryMutex (traffic_service/feed_sink)  the traffic query position                 - (leaf)
//  18 g_exitMutex (frame/exit_request.cpp)      the exit request of the run, the closed    - (leaf, cv wait;
//                                               wait, FinalExit done                       gf_exit only
//                                                                                          records and wakes)
//  19 g_windowCommandsMutex                     window commands queued for the main loop   - (leaf; run after
//     (app/window_commands.cpp)                                                            release)
//  Shared texts and values (any thread)
//  20 g_statusLineMutex (frame/status.cpp)      the status and error lines                 21, 24
//  21 g_paintedMutex (frame/window_model.cpp)   the painted window values                  - (the change runs
//                                                                                          inside: no locks)
//  Settings and log (any thread)
//  22 g_storeMutex (foundation/settings_store)  the parameters.xml document                23, 24
//  23 Parameter::m_mutex (foundation/settings)  one string setting's value                 - (leaf)
//  24 g_logMutex (foundation/log.cpp)           Log.txt                                    - (innermost)
//
// lf_sleep of the SimConnect thread waits on a mutex of its own (a stop-token wait, no data).
// The platform layer's locks (window message queues, the SimConnect stand-in's world) are held
// only inside a platform call, below every lock here; the stand-in releases its world lock before
// it calls the program's dispatch callback.
//
// Two rules the table alone does not show: gf_exit is never called with g_simConnectMutex held
// (the third request error makes the restart due and the caller takes it once it has released
// the lock), and no thread joins another while it holds any of these locks.
#pragma once

#include <thread>

// The thread registered as the main loop: the start-up thread when it enters the main loop, or a
// test that drives main-loop code from its own thread. Debug builds check it at five entries of
// main-loop-only code: the AI tick, the hand-over's record intake, the simulator events and the two
// stand searches. The static aircraft's paths have no check of their own.
void gf_registerMainLoopThread(std::thread::id id = std::this_thread::get_id());
// Forgets the registration: any thread passes the check again (start-up, exit, tests).
void gf_clearMainLoopThread();
// True on the registered main-loop thread, or when none is registered.
bool gf_onMainLoopThread();

#ifdef NDEBUG
inline void gf_assertMainLoopThread() {}
#else
void gf_assertMainLoopThread();
#endif

// The converse, for code that waits on the network (the traffic service's requests): it never runs
// on the registered main-loop thread, whose stall would stop every AI aircraft. Debug builds abort.
#ifdef NDEBUG
inline void gf_assertOffMainLoopThread() {}
#else
void gf_assertOffMainLoopThread();
#endif
