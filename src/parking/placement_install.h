// Plugs the parked-traffic placement, the stand rules and collision avoidance into the frame's
// hooks. Called once on the window thread before the first start-up.
#pragma once

void gf_installPlacement();
