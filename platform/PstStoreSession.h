// The store session over our own PST writer (pst/).
#pragma once

#include <memory>

#include "platform/StoreSession.h"

namespace tarvelle::platform {

// Sessions that create and write Unicode .pst files.
std::unique_ptr<StoreSessionFactory> MakePstSessionFactory();

}  // namespace tarvelle::platform
