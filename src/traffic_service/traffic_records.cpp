// Feed record layouts.
#include "traffic_service/traffic_records.h"
