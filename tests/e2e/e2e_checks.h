// What the end-to-end tests check after a run: the objects the program created in the stand-in
// simulator, the livery each should have by the match order (read from the demo's aircraft.cfg
// files, independently of the program's parser), the distance between the simulator's positions
// and the feed 30 seconds earlier, the removals, the program's queues after the exit, and the
// error lines of Log.txt. Test thread, after the program has run (or while it runs, for the
// simulator's records, which the stand-in copies under its own lock).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "e2e/e2e_world.h"
#include "simconnect/standin_sim.h"

namespace tvxtest {

// The largest distance accepted between a simulator position and the feed's track 30 s earlier,
// within a window from 5 s before (the batch's age, the reader's pace) to 15 s after: the program
// drops a stop of the feed shorter than 15 s (a hold before the take-off, a short wait while
// taxiing) and the aircraft then runs up to that much ahead of the 30 s delay. By the feed's
// state: taxiing and standing (on the ground), take-off or landing (within 30 s of a ground point
// faster than 40 kt: roll, lift-off, first climb, last approach, flare and rollout, where the
// program runs its own acceleration, rotation, climb-out, flare and braking) and in the air.
enum class MotionKind { Taxi = 0, Runway = 1, Air = 2 };
inline constexpr double kMaxDeviationMetres[3] = {40.0, 100.0, 60.0};
inline constexpr double kLeadSeconds = 15.0;
const char* gf_motionKindName(MotionKind kind);

// Objects created by the program (outcome Created), by object id.
std::map<std::uint32_t, simstandin::CreationRec> gf_createdObjects();
// The object whose ATC id is the tail number, while it exists.
std::optional<simstandin::ObjectView> gf_objectOfTail(const std::string& tail);
bool gf_wasCreated(const std::string& tail);
// Some object of that tail was removed by the program (a removal call, not the simulator itself).
bool gf_removedByProgram(const std::string& tail);

// The title the match order gives the aircraft from the installed liveries (skipping the titles
// the simulator refuses): the airline's livery of the type, else the type's house livery; for an
// aircraft of another type of an installed size class the text "any" (any installed title not
// refused); for a type whose class has no livery (the heavies) an empty text: not created.
std::string gf_expectedTitle(const E2eWorld& world, const tvxstandin::ScenarioTrack& track);
// Callsigns that must have been created by the simulated second: a type with an installed livery,
// inside the query box of the lateral range for 20 s on end, from the start until 50 s before that
// second.
std::vector<std::string> gf_expectedCreations(const E2eWorld& world, double simSecond, double rangeNm);

struct Deviation {
    double metres = 0.0;
    std::string callsign;
    double feedSecond = 0.0;
    std::size_t samples = 0;
};
// The largest of each kind over the traced positions of every created object, from the first
// minute on (before, the history buffers of the first reply play out with shorter delays).
std::array<Deviation, 3> gf_largestDeviations(const E2eWorld& world);

// After the exit: no object of the program left, each created object removed by a removal call,
// and the program's aircraft containers and queues empty (gtest expectations).
void gf_expectNothingLeft();
// The "===> " lines of the log.
std::vector<std::string> gf_errorLines(const std::string& log);
// The "===> " lines of the log that contain none of the provoked texts.
std::vector<std::string> gf_otherErrorLines(const std::string& log, const std::vector<std::string>& provoked);
// Objects the program had created after the frame.
std::size_t gf_createdAfter(std::uint64_t frame);
// Position writes the simulator received after the frame.
std::size_t gf_positionWritesAfter(std::uint64_t frame);

// Runs scripts/replay on RECORDING with the extra arguments, the run in WORK/run, against this
// test program's build folder. skip says why it cannot run here (then nothing ran); otherwise
// status is the replay's exit status (checked 0) and text its output.
struct ReplayRun {
    std::string skip;
    int status = 0;
    std::string text;
};
ReplayRun runReplayScript(const std::filesystem::path& recording, const std::string& args,
                          const std::filesystem::path& work);

}  // namespace tvxtest
