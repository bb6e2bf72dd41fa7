// Wiring of the airport list into the frame's start-up. Window thread, once.
#include "parking/parking_install.h"

#include "app/subsystem_hooks.h"
#include "model/airport_list.h"

void gf_installAirportList()
{
    // Read once per process; errors 87 and 88 go to the start-up thread's handler.
    g_hooks.readAirports = [] { gf_readAirports(); };
}
