// The parking seams' storage. See parking_hooks.h.
#include "parking/parking_hooks.h"

ParkingHooks g_parkingHooks;
