// The window's kick response figures, for orbilo-ui-bench.
#pragma once

// Runs the kicks against the login page and prints
// "window_kick_response_ms_p50: X" and "window_kick_response_ms_p99: X";
// false when the window did not answer every kick.
bool window_kick_bench();
