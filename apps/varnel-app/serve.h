// `varnel-app serve`: the application's main loop.
#pragma once

#include "options.h"

namespace varnel_app {

// Serves until SIGTERM or SIGINT; returns the exit status (0 when stopped, 1 on failure).
int serve(const Options& options);

}  // namespace varnel_app
