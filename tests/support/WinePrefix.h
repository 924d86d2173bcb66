// A Wine prefix of the test's own: WINEPREFIX points at a fresh temporary folder with drive C:
// linked the way Wine links it (dosdevices/c: -> ../drive_c), HOME at the same folder so ~/.wine
// cannot be read; both are restored afterwards.
#pragma once
#ifndef _WIN32

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/TempDir.h"

namespace tarvelle::fakes {

class ScopedWinePrefix {
  public:
    ScopedWinePrefix() : dir_("tarvelle-wine-") {
        Save("WINEPREFIX", savedPrefix_);
        Save("HOME", savedHome_);
        ::setenv("WINEPREFIX", Root().c_str(), 1);
        ::setenv("HOME", Root().c_str(), 1);
        std::filesystem::create_directories(Drive());
        std::filesystem::create_directories(Root() / "dosdevices");
        std::filesystem::create_directory_symlink("../drive_c", Root() / "dosdevices" / "c:");
    }
    ~ScopedWinePrefix() {
        Restore("WINEPREFIX", savedPrefix_);
        Restore("HOME", savedHome_);
    }
    ScopedWinePrefix(const ScopedWinePrefix&) = delete;
    ScopedWinePrefix& operator=(const ScopedWinePrefix&) = delete;

    const std::filesystem::path& Root() const { return dir_.path(); }
    std::filesystem::path Drive() const { return Root() / "drive_c"; }

    // The user hive, in the prefix or in `folder`.
    void WriteUserReg(const std::string& text, const std::filesystem::path& folder = {}) const {
        const std::filesystem::path dir = folder.empty() ? Root() : folder;
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "user.reg", std::ios::binary) << text;
    }

  private:
    static void Save(const char* name, std::optional<std::string>& slot) {
        if (const char* value = std::getenv(name)) slot = value;
    }
    static void Restore(const char* name, const std::optional<std::string>& slot) {
        if (slot) {
            ::setenv(name, slot->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    TempDir dir_;
    std::optional<std::string> savedPrefix_;
    std::optional<std::string> savedHome_;
};

}  // namespace tarvelle::fakes

#endif  // _WIN32
