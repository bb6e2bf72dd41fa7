// Plugs the live traffic's hand-over, AI tick, removal and selection into the seams of their
// neighbours: the frame's subsystem hooks (main loop, window commands, exit) and the traffic
// client's feed sink (batches from the reader thread). Called once by the frame's
// gf_registerSubsystems before the first start-up (window thread); the hooks are only read
// afterwards.
#pragma once

void gf_installLiveTraffic();
