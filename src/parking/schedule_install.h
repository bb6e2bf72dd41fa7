// Plugs the stand schedules and the stand search into the seams of the live lifecycle, the
// simulator link and the traffic client. Called once before the first start-up (window thread).
#pragma once

void gf_installSchedule();
