// The liveries library's loaded data back to its program-start values in one call: the aircraft
// database with its registration codes and publishers, the livery table (an empty one is set;
// earlier tables stay alive, as views into them may still be held), the match counts and the
// refused liveries and types. For a fresh start inside one process, as the tests make one per
// case or per world.
//
// Call it with no thread of the program running.
#pragma once

void gf_resetLiveriesState();
