// Standard input, output and error as the program relies on them.
#pragma once

namespace tarvelle::platform {

// Opens the null device on every one of descriptors 0, 1 and 2 that the program was started
// without. A file opened later would otherwise get that number, and whatever the program writes
// to stdout or stderr would land in it. Call first in main, before anything is opened. False when
// a closed descriptor could not be filled (the program should then stop).
bool FillClosedStandardDescriptors();

}  // namespace tarvelle::platform
