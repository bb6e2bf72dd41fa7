// Program-start values of the app library's run state. No program thread runs.
#include "app/app_state.h"

#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "foundation/lock_order.h"

void gf_resetAppState()
{
    gf_resetExitState();
    gf_resetMainLoopState();
    gf_clearMainLoopThread();
    lf_resetStartUpCount();
    lf_resetServiceHold();
}
