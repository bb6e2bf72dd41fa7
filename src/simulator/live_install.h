// Plugs the live traffic's hand-over into the traffic client's feed sink (batches from the reader
// thread). Called once before the first start-up (window thread); the sink is only read
// afterwards. The lifecycle fills the hand-over's own seams (live_hooks.h) in its installer.
#pragma once

void gf_installLiveTraffic();
