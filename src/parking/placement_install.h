// Plugs the parked-traffic placement, the stand rules and max park into the AI tick's, the live
// lifecycle's and the ground movement's seams. Called once on the
// window thread before the first start-up.
#pragma once

void gf_installPlacement();
