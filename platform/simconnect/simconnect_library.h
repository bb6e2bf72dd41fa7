// Where the SimConnect calls come from at run time. On Windows (without the vendor SDK's import
// library) tavix.exe loads SimConnect.dll when it first opens a connection, from its own folder
// first and then from the SimConnect SDK's folder (%MSFS_SDK%\SimConnect SDK\lib), and takes the
// calls it makes from it; until that succeeds every call fails with E_FAIL, so the client keeps
// retrying its open as it does while the simulator is not running. Elsewhere the calls are linked
// in (the embedded stand-in) and nothing can be missing.
//
// Any thread.
#pragma once

#include <string>

// A new problem with SimConnect.dll (not found, not loadable, a call missing), told once: the text
// for the status line and the log, or an empty text when there is nothing new to tell.
std::string gf_takeSimConnectLibraryProblem();
