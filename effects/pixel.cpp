// Pixel helpers are all inline; this file keeps the core library non-empty on its own.
#include "effects/pixel.h"
