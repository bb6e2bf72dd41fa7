// Program-start values of the frame library's run state. No program thread runs.
#include "frame/frame_state.h"

#include "frame/exit_request.h"
#include "frame/status.h"
#include "frame/window_model.h"

void gf_resetFrameState()
{
    gf_clearErrorLine();
    gf_clearStatusLine();
    gf_resetPainted();
    gf_resetExitRequest();
}
