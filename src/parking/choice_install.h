// Plugs the park-airport choice, the park-airport list and the traffic containers into the frame's
// hooks. Called once by the frame's gf_registerSubsystems before the first start-up (window thread).
#pragma once

void gf_installChoice();
