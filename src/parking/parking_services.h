// The park airport's answers to the simulator's stand services: the stand search and names, the
// claim on arrival, the stand schedules and stand learning, and the parked-traffic rules at
// stands. Set once at start-up with gf_setStandServices (simulator/stand_services.h).
//
// Threads: as stand_services.h; the calls run the parking code on its own threads.
#pragma once

#include "simulator/stand_services.h"

// The services of this library (one per process).
StandServices& gf_parkingStandServices();
