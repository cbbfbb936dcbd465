// What several of the simulated Mac's tools do alike: waiting for their ending signals, and reading a
// password line from standard input.
#pragma once

#include <csignal>
#include <string>

namespace corvel::sim {

// The signals that end a tool; the last one taken is in endingSignal, 0 until then.
inline constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
extern volatile std::sig_atomic_t endingSignal;

struct SignalMasks {
  sigset_t original;  // as the tool started: what a child it spawns should get
  sigset_t wait;      // for ppoll: lets the ending signals and SIGCHLD in, and only there
};

// Blocks the ending signals and SIGCHLD and installs their handlers, so that none slips in between
// a check and the wait that follows it; ppoll with `wait` then takes them.
SignalMasks catchEndingSignalsAndChildren();

// One line of standard input, without its newline, read a byte at a time, so that nothing past the
// line is taken from whoever shares the input.
std::string readPasswordLine();

}  // namespace corvel::sim
