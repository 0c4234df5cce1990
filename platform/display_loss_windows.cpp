// A lost display on Windows: a window's device is the system's own and does not go away under
// the show, so there is nothing to catch.
#include "platform/display_loss.h"

void catchDisplayLoss(const char*) {}

void keepLibrariesForLeakCheck() {}
