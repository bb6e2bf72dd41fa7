// Plugs the ground movement, the configuration by phase, the duplicates and ghosts and the refused
// liveries into the seams of their callers: the motion seam (g_motionHooks) of the movement along
// records and the live-aircraft lifecycle and the simulator link's refused-livery call
// (g_simLinkHooks). Called once
// before the first start-up (window thread), after the seams' owners have set theirs; the hooks
// are only read afterwards.
#pragma once

void gf_registerGroundMotion();
