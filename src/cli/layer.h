// Included first by every header of the batch tool. ferolan_cli_lib hands FEROLAN_LAYER_CLI
// to whatever links it; any other target (the engine, the window) that reaches one of these
// headers stops here.
#pragma once

#ifndef FEROLAN_LAYER_CLI
#error "this target does not link ferolan_cli_lib: it may not include the batch tool"
#endif
