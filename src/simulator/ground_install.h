// Plugs the duplicate check and the no-match list into the frame's per-second, periodic and daily
// work (g_hooks). Called once before the first start-up (window thread); the hooks are only read
// afterwards.
#pragma once

void gf_registerGroundMotion();
