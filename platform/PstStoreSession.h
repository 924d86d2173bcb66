// The store session over our own PST writer (pst/).
//
// Logging on creates the .pst when the path is free. The writer's state stays in memory for the
// rest of the program run, so logging on again to a file this run created (after a Logoff)
// continues the same store; any other existing file is refused.
//
// Durability: Save writes the item's blocks at once; the file is committed (a complete, valid PST
// on disk) when at least kCommitInterval has passed since the last commit, and on Flush, Logoff
// and when the session ends. So a crash loses at most the items of the last second.
#pragma once

#include <chrono>
#include <memory>

#include "platform/StoreSession.h"

namespace tarvelle::platform {

inline constexpr std::chrono::milliseconds kCommitInterval{1000};

// Sessions that create and write Unicode .pst files.
std::unique_ptr<StoreSessionFactory> MakePstSessionFactory();

}  // namespace tarvelle::platform
