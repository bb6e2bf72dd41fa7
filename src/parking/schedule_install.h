// Plugs the stand schedules, the stand search and the static parking plan into the seams of the
// frame and the traffic client. Called once by gf_registerSubsystems before
// the first start-up (window thread).
#pragma once

void gf_installSchedule();
