// The file operations the node database needs, failing with IoError that carries the system's
// error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#if defined(_WIN32)
// The scatter buffer of writev(2), for the Windows build (File_win.cpp).
struct iovec {
    void* iov_base;
    std::size_t iov_len;
};
#else
#include <sys/uio.h>
#endif

namespace tarvelle::pst::ndb {

class File {
  public:
    File() = default;
    File(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // A new file beside `target` with owner-only permissions. Where the system allows, it has no
    // name at all until LinkAsNew or RenameTo gives it one, so a killed process leaves nothing
    // behind; otherwise it is named "." + the target's name + random letters + ".tmp".
    static File CreateTemporary(const std::filesystem::path& target);

    bool IsOpen() const { return fd_ >= 0; }
    const std::filesystem::path& Path() const { return path_; }

    void WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset);
    // Fills `bytes` from `offset`; a file that ends before is an IoError.
    void ReadAt(std::span<std::uint8_t> bytes, std::uint64_t offset) const;
    // Writes the buffers one after the other from `offset` (short writes resumed).
    void WriteVectorAt(std::span<iovec> buffers, std::uint64_t offset);
    void Resize(std::uint64_t size);
    void Sync();
    // Copies bytes [0, length) of `from` to the same place in this file.
    void CopyFrom(const File& from, std::uint64_t length);
    void Close();

    // Gives this file the name `target`, replacing what is there (atomic).
    void RenameTo(const std::filesystem::path& target);
    // Gives this file the name `target` only if nothing exists there; false if something does.
    bool LinkAsNew(const std::filesystem::path& target);
    // Removes the file's current name (used for temporary files on failure).
    void Unlink() noexcept;

  private:
    [[noreturn]] void Fail(const char* action, int error) const;

    int fd_ = -1;
    std::filesystem::path path_;  // for a nameless file: the target, for messages
    bool nameless_ = false;
};

void SyncDirectoryOf(const std::filesystem::path& path);

}  // namespace tarvelle::pst::ndb
