// Plugs the airport list into the frame's start-up hook. Called once by the frame's
// gf_registerSubsystems before the first start-up (window thread).
#pragma once

void gf_installAirportList();
