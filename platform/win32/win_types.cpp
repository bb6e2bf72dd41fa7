// Anchor for the win32 layer library while it holds only declarations.
#include "win32/win_types.h"
