// Program-start values of the frame's run state. No program thread runs.
#include "app/app_state.h"

#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "app/status.h"
#include "app/window_model.h"
#include "foundation/lock_order.h"

void gf_resetAppState()
{
    gf_clearErrorLine();
    gf_clearStatusLine();
    gf_resetPainted();
    gf_resetExitState();
    gf_resetMainLoopState();
    gf_clearMainLoopThread();
    lf_resetStartUpCount();
    lf_resetServiceHold();
}
