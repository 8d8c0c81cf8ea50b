// The latency mode of the benchmark: the program's actions against a server
// that qwb_delay makes look 0, 50 and 150 ms away, beside the mariadb
// command-line client sending the same statements over the same proxy. The
// proxy counts each side's requests; the program is driven through its own
// widgets (mouse clicks on the rows, the buttons, F5), offscreen.
#pragma once

#include "bench/RawClient.h"

#include <functional>
#include <string>
#include <vector>

class TMainForm;

namespace bench {

struct LatencyOptions {
  std::vector<int> delays{0, 50, 150}; // round trips in ms, the first one gives the own time
  int repeat = 5;                      // rounds per action and round trip
  std::string programDir;              // where qwb_delay is
  bool tls = false;                    // the server offers TLS: mariadb connects with --ssl
};

// Prints the table of actions as markdown. `settle` processes events until
// none is left pending.
void MeasureLatency(TMainForm &form, const ServerAddress &server, const LatencyOptions &o,
                    const std::function<void()> &settle);

} // namespace bench
