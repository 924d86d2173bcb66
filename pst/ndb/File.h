// The file operations the node database needs, failing with IoError that carries the system's
// error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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
    File() noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // A new file that becomes `target`, owner-only. With `nameless` and where the system allows
    // (Linux), it has no name at all until LinkAsNew gives it one, so a process killed before
    // then leaves nothing behind; elsewhere (Windows, FAT, network shares) it is created under
    // `target` itself, exclusively. Throws IoError, also when `target` exists.
    static File CreateNew(const std::filesystem::path& target, bool nameless = true);
    // Creates `path` exclusively (never opens or replaces what is there), owner-only; nothing
    // when the name is taken. Throws IoError for any other failure.
    static std::optional<File> CreateExclusive(const std::filesystem::path& path);

    bool IsOpen() const { return fd_ >= 0; }
    // Where the file is, or (while it has no name) where it goes.
    const std::filesystem::path& Path() const { return path_; }
    bool Nameless() const { return nameless_; }

    void WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset);
    // Fills `bytes` from `offset`; a file that ends before is an IoError.
    void ReadAt(std::span<std::uint8_t> bytes, std::uint64_t offset) const;
    // Writes the buffers one after the other from `offset` (short writes resumed).
    void WriteVectorAt(std::span<iovec> buffers, std::uint64_t offset);
    // Zeros over [offset, offset + length).
    void ZeroAt(std::uint64_t offset, std::uint64_t length);
    void Resize(std::uint64_t size);
    void Sync();
    // Hands [offset, offset + length), written and never to be written again, to the disk in
    // the background: its write-back starts at once, and every few dozen MB what was handed over
    // is made durable, so that a later Sync waits for what came last only. Where the system
    // cannot do that for this file it is a no-op from then on; an error that means the data
    // cannot reach the disk is an IoError here or from Sync.
    void StartWriteBack(std::uint64_t offset, std::uint64_t length);
    // The smallest unit in which the system caches a file's data and writes it out (its memory
    // page); writes of larger runs may be cached and written out in larger units.
    static std::uint64_t PageSize();
    void Close();

    // Gives a nameless file the name `target` if nothing exists there; false if something does.
    // A file that already has that name keeps it (true).
    bool LinkAsNew(const std::filesystem::path& target);
    // Removes the name of the open file, and only while the name still refers to this file;
    // used to take back a file this program created.
    void Unlink() noexcept;

  private:
    [[noreturn]] void Fail(const char* action, int error) const;

    File(int fd, std::filesystem::path path, bool nameless);

    int fd_ = -1;  // on Windows the C runtime's descriptor around the file handle
    std::filesystem::path path_;
    bool nameless_ = false;
    struct WriteBehind;  // the thread that takes handed-over ranges to the disk (POSIX)
    std::unique_ptr<WriteBehind> writeBehind_;
};

void SyncDirectoryOf(const std::filesystem::path& path);

}  // namespace tarvelle::pst::ndb
