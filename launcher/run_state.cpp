#include "launcher/run_state.h"

// Defined here, not inline in the header: an inline variable is placed with
// the initialized data, and this one would take 1.5 KB of zeros in the
// program file.
RunState g_runState;
