// The store session over our own PST writer (pst/).
//
// Logging on creates the .pst when the path is free. The writer's state stays in memory until a
// session closes the file (StoreSession::Close), so logging on again to a file this run created
// (after a Logoff) continues the same store; any other existing file, a closed one included, is
// refused. Files still open when the program ends normally are closed then.
//
// Durability: Save checks the item and hands it to the store's writing thread, which writes its
// blocks in order shortly after (some tens of milliseconds at most); a commit (a complete, valid
// PST on disk) is queued when at least kCommitInterval has passed since the last one, and Flush,
// Logoff and the end of the session wait for theirs. So a crash loses at most the items of the last
// second. A failed write is reported by the next call, as PstWriteError, with the number of
// items the file keeps. Close writes the file's finished state in place and closes it; files not
// closed by then are closed at program end.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/StoreSession.h"

namespace tarvelle::platform {

inline constexpr std::chrono::milliseconds kCommitInterval{1000};

// The free space of the disk that holds `folder`, in bytes; nothing when it cannot be told.
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;
std::optional<std::uint64_t> DiskFreeSpace(const std::filesystem::path& folder);

// Sessions that create and write Unicode .pst files. ExpectItems compares what is coming with
// `freeSpace` (the disk's own answer unless a test gives another).
std::unique_ptr<StoreSessionFactory> MakePstSessionFactory(
    FreeSpaceQuery freeSpace = DiskFreeSpace);

}  // namespace tarvelle::platform
