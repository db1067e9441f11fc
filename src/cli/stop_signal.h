// SIGINT and SIGTERM ask the batch tool to stop: the files in work finish (or their searches
// stop at the next trial), what is complete is written, and the tool exits with 128 + the
// signal. A second signal ends it at once, still leaving no part of a file under its name.
#pragma once

#include "cli/layer.h"

#include "engine/search/cancel.h"

namespace ferolan::cli {

void catch_stop_signals();
// 0, or the signal that asked to stop.
int stop_signal();
// Cancelled by the signal: every search of the run polls it.
const CancelToken& stop_token();
// As if the signal had arrived (tests).
void request_stop(int signal);

}  // namespace ferolan::cli
