// Included first by every header of the Qt widgets. ferolan_qt hands FEROLAN_LAYER_QT to
// whatever links it; any other target that reaches one of these headers stops here.
#pragma once

#ifndef FEROLAN_LAYER_QT
#error "this target does not link ferolan_qt: it may not include the Qt widgets"
#endif
