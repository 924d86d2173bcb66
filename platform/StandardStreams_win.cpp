#include "platform/StandardStreams.h"

namespace tarvelle::platform {

// The C runtime allocates descriptors 0, 1 and 2 at start whether or not the process has the
// matching handles (without one it marks the descriptor as having no handle), so no file opened
// later can take their numbers.
bool FillClosedStandardDescriptors() { return true; }

}  // namespace tarvelle::platform
