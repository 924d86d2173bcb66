#include "platform/CommonControls.h"

namespace tarvelle::platform {

void InitCommonControls() {}

}  // namespace tarvelle::platform
