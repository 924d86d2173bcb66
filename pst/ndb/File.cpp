// POSIX; the Windows build uses File_win.cpp.
#if !defined(_WIN32)

#include "pst/ndb/File.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {
namespace {

std::string ErrorText(int error) { return std::generic_category().message(error); }

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      nameless_(std::exchange(other.nameless_, false)),
      noWriteBack_(other.noWriteBack_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        nameless_ = std::exchange(other.nameless_, false);
        noWriteBack_ = other.noWriteBack_;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

void File::Fail(const char* action, int error) const {
    throw IoError("Could not " + std::string(action) + " " + path_.string() + ": " +
                  ErrorText(error));
}

std::optional<File> File::CreateExclusive(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return File(fd, path, false);
    if (errno == EEXIST) return std::nullopt;
    const int error = errno;
    throw IoError("Could not create " + path.string() + ": " + ErrorText(error));
}

File File::CreateNew(const std::filesystem::path& target, bool nameless) {
    // O_TMPFILE needs /proc to give the file its name later (linkat without privileges).
    if (nameless && ::access("/proc/self/fd", X_OK) == 0) {
        const auto dir = FolderOf(target);
        const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) return File(fd, target, true);
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            throw IoError("Could not create a file in " + dir.string() + ": " + ErrorText(error));
        }
    }
    if (auto file = CreateExclusive(target)) return std::move(*file);
    throw FileExistsError("Could not create " + target.string() + ": " + ErrorText(EEXIST));
}

void File::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    iovec one{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    WriteVectorAt(std::span<iovec>(&one, 1), offset);
}

void File::ReadAt(std::span<std::uint8_t> bytes, std::uint64_t offset) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("read", n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}

void File::WriteVectorAt(std::span<iovec> buffers, std::uint64_t offset) {
    std::size_t first = 0;
    while (first < buffers.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(buffers.size() - first, IOV_MAX));
        const ssize_t written = ::pwritev(fd_, &buffers[first], count, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail("write", errno);
        }
        if (written == 0) Fail("write", EIO);
        auto left = static_cast<std::size_t>(written);
        offset += left;
        while (first < buffers.size() && left >= buffers[first].iov_len) {
            left -= buffers[first].iov_len;
            ++first;
        }
        if (left > 0) {  // a short write inside one buffer: resume after the written part
            buffers[first].iov_base = static_cast<std::uint8_t*>(buffers[first].iov_base) + left;
            buffers[first].iov_len -= left;
        }
        while (first < buffers.size() && buffers[first].iov_len == 0) ++first;
    }
}

void File::ZeroAt(std::uint64_t offset, std::uint64_t length) {
    static const std::vector<std::uint8_t> zeros(64 * 1024, 0);
    std::vector<iovec> buffers;
    buffers.reserve(static_cast<std::size_t>(length / zeros.size() + 1));
    for (std::uint64_t left = length; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        buffers.push_back(iovec{const_cast<std::uint8_t*>(zeros.data()), n});
        left -= n;
    }
    WriteVectorAt(buffers, offset);
}

void File::Resize(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("resize", errno);
}

void File::Sync() {
    if (::fsync(fd_) != 0) Fail("flush", errno);
}

void File::StartWriteBack(std::uint64_t offset, std::uint64_t length) {
#ifdef __linux__
    if (noWriteBack_ || ::sync_file_range(fd_, static_cast<off_t>(offset),
                                          static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE) == 0)
        return;
    switch (errno) {
        case ENOSYS:  // not on this kernel, file system or kind of file: the closing sync does it
        case EINVAL:
        case ESPIPE:
        case EOPNOTSUPP:
            noWriteBack_ = true;
            return;
        case ENOMEM:  // not now; the data stays in the cache for the closing sync
            return;
        default:  // EIO and the like: what was written does not reach the disk
            Fail("write", errno);
    }
#else
    (void)offset;
    (void)length;
#endif
}

std::uint64_t File::PageSize() {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint64_t>(size) : 4096;
}

void File::Close() {
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) Fail("close", errno);
    }
}

bool File::LinkAsNew(const std::filesystem::path& target) {
    if (!nameless_) return path_ == target;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        if (error == EEXIST) return false;
        throw IoError("Could not create " + target.string() + ": " + ErrorText(error));
    }
    nameless_ = false;
    path_ = target;
    return true;
}

void File::Unlink() noexcept {
    if (nameless_ || fd_ < 0) return;
    struct stat mine {};
    struct stat named {};
    if (::fstat(fd_, &mine) != 0 || ::lstat(path_.c_str(), &named) != 0 ||
        mine.st_dev != named.st_dev || mine.st_ino != named.st_ino)
        return;  // the name is no longer ours
    ::unlink(path_.c_str());
}

void SyncDirectoryOf(const std::filesystem::path& path) {
    const auto dir = FolderOf(path);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // best effort: the name is there either way
    ::fsync(fd);
    ::close(fd);
}

}  // namespace tarvelle::pst::ndb

#endif  // !_WIN32
