// The common-controls initialisation every window performs before it is created, so standard
// controls take the system's current visual style (Windows common controls version 6 with the
// application manifest). Elsewhere the toolkit's style already follows the system: no-ops.
#pragma once

namespace tarvelle::platform {

// InitCommonControls. Results are not read: a failure only keeps the classic look.
void InitCommonControls();

}  // namespace tarvelle::platform
