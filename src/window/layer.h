// Included first by every header of the window model. ferolan_window hands
// FEROLAN_LAYER_WINDOW to whatever links it, so a target below the window model (the engine,
// the batch tool) that reaches one of these headers, by any path, stops compiling here
// instead of linking a call it must not make.
#pragma once

#ifndef FEROLAN_LAYER_WINDOW
#error "this target does not link ferolan_window: it may not include the window model"
#endif
