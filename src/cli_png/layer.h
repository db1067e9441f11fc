// Included first by every header of the batch tool's PNG module. ferolan_cli_png hands
// FEROLAN_LAYER_CLI_PNG to whatever links it; any other target that reaches one of these
// headers stops here.
#pragma once

#ifndef FEROLAN_LAYER_CLI_PNG
#error "this target does not link ferolan_cli_png: it may not include the PNG pictures"
#endif
