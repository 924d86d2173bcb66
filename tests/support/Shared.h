// The development material beside the checkout that a few cross-checks compare with when it is
// there.
#pragma once

#include <cstdlib>
#include <filesystem>

namespace tarvelle::fakes {

// The development material beside the checkout (the strict Python checker, Outlook's own files),
// which a user's clone does not have. TARVELLE_SHARED_DIR in the environment overrides the
// configured folder, so a run without it can be tried on a machine that has it.
inline std::filesystem::path SharedDir() {
    const char* overridden = std::getenv("TARVELLE_SHARED_DIR");
    return overridden != nullptr ? overridden : TARVELLE_SHARED_DIR;
}

}  // namespace tarvelle::fakes

// Skips the calling test, with the reason, when `relative` is not in the shared material.
#define TARVELLE_SKIP_WITHOUT_SHARED(relative)                                             \
    do {                                                                                   \
        if (!std::filesystem::exists(::tarvelle::fakes::SharedDir() / (relative)))         \
            GTEST_SKIP() << "cross-check skipped: " << (relative) << " is not in "         \
                         << ::tarvelle::fakes::SharedDir()                                 \
                         << " (development material beside the checkout, not part of it)"; \
    } while (false)
