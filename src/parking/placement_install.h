// Plugs the parked-traffic placement, the stand rules, max park and collision avoidance into the
// frame's, the AI tick's, the live lifecycle's and the ground movement's seams. Called once on the
// window thread before the first start-up.
#pragma once

void gf_installPlacement();
