#pragma once
// The test rig's own share of every round trip: one byte each way through a
// pseudo-terminal between two threads that sleep in between, as devsim and
// update-cli do. Measured so that the end-to-end figures can be read against it.

#include <chrono>

// The mean time from writing a byte into one side until its echo is read back,
// over `count` round trips started `gap` apart; a negative value if no
// pseudo-terminal can be had.
double PtyRoundTripMicroseconds(std::chrono::microseconds gap, int count);

// The mean CPU time of the side that waits, per round trip: it writes a byte and
// sleeps in read() until the echo comes `gap` later, with nothing else to do. Any
// host that waits for each reply pays this much per round trip on this machine;
// a negative value if no pseudo-terminal can be had.
double PtyWaitingCpuMicroseconds(std::chrono::microseconds gap, int count);
