// Plugs the park-airport choice into the live lifecycle's seam. Called once before the first
// start-up (window thread).
#pragma once

void gf_installChoice();
