// The window's command handlers and the queue that hands their work to the main loop. The handlers
// run on the window thread; the queue is guarded by the window-command mutex (a leaf lock: the
// commands run after it is released).
#include "app/window_commands.h"

#include <mutex>
#include <vector>

#include "app/subsystems.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "frame/status.h"
#include "frame/window_model.h"

namespace {

// What the window thread leaves for the main loop: a command for the subsystems, or one of the
// two changes whose command depends on main-loop state (is a parking file loaded).
struct PostedCommand {
    enum class Kind { Subsystems, MaxLiveChanged, ParkingSettingChanged };
    Kind kind;
    WindowCommand command{WindowCommand::ParkParamsChanged, {}, false};
    std::int32_t maxLive = 0;  // MaxLiveChanged: the stored MAX_LIVE
};

std::atomic<bool> g_flushStaticRequested{false};
std::mutex g_windowCommandsMutex;  // guards g_windowCommands (window thread -> main loop)
std::vector<PostedCommand> g_windowCommands;

void lf_post(PostedCommand posted)
{
    std::lock_guard lock(g_windowCommandsMutex);
    g_windowCommands.push_back(std::move(posted));
}

// Queues the command for the subsystems, run by the main loop.
void lf_postCommand(WindowCommand command)
{
    lf_post({PostedCommand::Kind::Subsystems, std::move(command)});
}

void lf_parkParamsChangedWhenLoaded(Subsystems& subsystems)
{
    if (subsystems.ask(Question::ParkFileLoaded))
        subsystems.windowCommand({WindowCommand::ParkParamsChanged, {}, false});
}

void lf_run(const PostedCommand& posted)
{
    Subsystems& subsystems = gf_subsystems();
    switch (posted.kind) {
    case PostedCommand::Kind::Subsystems:
        subsystems.windowCommand(posted.command);
        break;
    case PostedCommand::Kind::MaxLiveChanged:
        if (subsystems.ask(Question::ParkFileLoaded))
            subsystems.windowCommand({WindowCommand::ParkParamsChanged, {}, false});
        else
            g_maxLiveOutsidePark.store(posted.maxLive);
        subsystems.windowCommand({WindowCommand::TrimLiveToMaxLive, {}, false});
        break;
    case PostedCommand::Kind::ParkingSettingChanged:
        lf_parkParamsChangedWhenLoaded(subsystems);
        break;
    }
}

}  // namespace

void gf_runWindowCommands()
{
    std::vector<PostedCommand> commands;
    {
        std::lock_guard lock(g_windowCommandsMutex);
        commands.swap(g_windowCommands);
    }
    for (const auto& command : commands)
        lf_run(command);
}

void gf_requestFlushStatic()
{
    g_flushStaticRequested.store(true);
}

bool gf_takeFlushStaticRequest()
{
    return g_flushStaticRequested.exchange(false);
}

void gf_onMaxLiveChanged(std::int32_t value)
{
    const std::int32_t stored = g_optMaxLive.setClamped(value);
    g_optMaxLive.save();
    PostedCommand posted{PostedCommand::Kind::MaxLiveChanged};
    posted.maxLive = stored;
    lf_post(std::move(posted));
}

void gf_onAutoRangeChanged(bool on)
{
    gf_setCheckBox(g_optAutoRange, on);
    if (on) {
        g_manualLateralRange = g_optLateralRange.value();
        gf_updateAutoRange(gf_subsystems().autoRangeInput());
        gf_enableControl(g_optLateralRange, false);
    } else {
        gf_enableControl(g_optLateralRange, true);
        gf_setLateralRange(g_manualLateralRange);
        gf_clearStatusLine();
    }
    gf_showIntOption(g_optLateralRange);
    g_autoRangeGround.store(on && g_rangeNm.load() == 10.0);
    gf_updatePainted([on](PaintedValues& p) { p.lateralRangeEnabled = !on; });
    gf_onParkingSettingChanged();
}

void gf_onLateralRangeChanged(std::int32_t value)
{
    if (g_optAutoRange.value())
        return;  // the box is disabled while AUTO_RANGE chooses the range
    gf_setLateralRange(value);
    gf_showIntOption(g_optLateralRange);
    gf_onParkingSettingChanged();
}

void gf_onNewDestination(const std::string& icao)
{
    g_optDestination.set(icao);
    g_optDestination.save();
    gf_log("New destination: {}", icao);
    lf_postCommand({WindowCommand::AddParkAirport, icao, false});
}

void gf_onNavLightsChanged(bool on)
{
    gf_setCheckBox(g_optNavLightsWhileParked, on);
    lf_postCommand({WindowCommand::NavLights, {}, on});
}

void gf_onRescanAirports()
{
    gf_setCheckBox(g_optScanAirports, true);
    lf_postCommand({WindowCommand::RescanAirports, {}, false});
}

void gf_onRereadParkAirports()
{
    lf_postCommand({WindowCommand::RereadParkAirports, {}, false});
}

void gf_onParkingSettingChanged()
{
    lf_post({PostedCommand::Kind::ParkingSettingChanged});
}
