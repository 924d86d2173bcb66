// POSIX; the Windows build uses File_win.cpp.
#if !defined(_WIN32)

#include "pst/ndb/File.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {
namespace {

std::string ErrorText(int error) { return std::generic_category().message(error); }

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      nameless_(std::exchange(other.nameless_, false)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        nameless_ = std::exchange(other.nameless_, false);
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

// "." + the target's name + "." + `middle` + ".tmp"; random letters when `middle` is empty.
static std::string TemporaryName(const std::filesystem::path& target, std::string middle = {}) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    if (middle.empty()) {
        std::random_device random;
        for (int i = 0; i < 8; ++i) middle += letters[random() % (sizeof letters - 1)];
    }
    std::string leaf = ".";  // built by appending: GCC 12 at -O3 misreads "." + string
    leaf += target.filename().string();
    leaf += '.';
    leaf += middle;
    leaf += ".tmp";
    return leaf;
}

File File::CreateTemporary(const std::filesystem::path& target) {
    const auto dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // O_TMPFILE needs /proc to give the file its name later (linkat without privileges).
    if (::access("/proc/self/fd", X_OK) == 0) {
        const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            File file(fd, target);
            file.nameless_ = true;
            return file;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            throw IoError("Could not create a file in " + dir.string() + ": " + ErrorText(error));
        }
    }
    const std::string pattern = (dir / TemporaryName(target, "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkostemps creates with O_CREAT|O_EXCL and mode 0600; the 4 is the length of ".tmp".
    const int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw IoError("Could not create a file in " + dir.string() + ": " + ErrorText(error));
    }
    return File(fd, std::filesystem::path(name.data()));
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

void File::Resize(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("resize", errno);
}

void File::Sync() {
    if (::fsync(fd_) != 0) Fail("flush", errno);
}

void File::CopyFrom(const File& from, std::uint64_t length) {
    off_t in = 0;
    off_t out = 0;
    bool kernelCopy = true;
    while (static_cast<std::uint64_t>(in) < length) {
        // In steps of 32 MB, each handed to the disk at once: a copy is synced before it replaces
        // the file, and that sync then waits only for the last steps.
        const auto chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(length - static_cast<std::uint64_t>(in), 32u << 20));
        if (kernelCopy) {
            const off_t start = out;
            const ssize_t n = ::copy_file_range(from.fd_, &in, fd_, &out, chunk, 0);
            if (n > 0) {
#ifdef __linux__
                ::sync_file_range(fd_, start, n,
                                  SYNC_FILE_RANGE_WRITE);  // a hint: errors do not matter
#endif
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
                errno != EOPNOTSUPP)
                Fail("write", errno);
            if (n == 0) Fail("read", EIO);  // the source is shorter than it should be
            kernelCopy = false;             // not supported here: copy through a buffer
        }
        std::vector<std::uint8_t> buffer(std::min<std::size_t>(chunk, 1u << 20));
        const ssize_t n = ::pread(from.fd_, buffer.data(), buffer.size(), in);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("read", n < 0 ? errno : EIO);
        WriteAt(std::span(buffer.data(), static_cast<std::size_t>(n)),
                static_cast<std::uint64_t>(in));
        in += n;
    }
}

void File::Close() {
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) Fail("close", errno);
    }
}

void File::RenameTo(const std::filesystem::path& target) {
    if (nameless_) {
        // A name first (never an existing one), then the atomic replacement below.
        const auto dir =
            target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
        bool named = false;
        for (int attempt = 0; attempt < 16 && !named; ++attempt)
            named = LinkAsNew(dir / TemporaryName(target));
        if (!named) Fail("name a copy of", EEXIST);
    }
    // Swapping the two names and then removing the old file is as atomic as a plain rename, but
    // on ext4 a rename over an existing file also starts writing the new file out at once, and
    // the old one cannot be dropped before its own pending writes finish; an exchange avoids both.
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(path_.c_str());  // now the previous file
        path_ = target;
        return;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOENT) {
        const int error = errno;
        Unlink();
        throw IoError("Could not replace " + target.string() + ": " + ErrorText(error));
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        const int error = errno;
        Unlink();
        throw IoError("Could not replace " + target.string() + ": " + ErrorText(error));
    }
    path_ = target;
}

bool File::LinkAsNew(const std::filesystem::path& target) {
    int result = 0;
    if (nameless_) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW);
    } else {
        result = ::link(path_.c_str(), target.c_str());
    }
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST) return false;
        throw IoError("Could not create " + target.string() + ": " + ErrorText(error));
    }
    if (!nameless_) ::unlink(path_.c_str());
    nameless_ = false;
    path_ = target;
    return true;
}

void File::Unlink() noexcept {
    if (!nameless_ && !path_.empty()) ::unlink(path_.c_str());
}

void SyncDirectoryOf(const std::filesystem::path& path) {
    const auto dir = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // best effort: the rename itself is already atomic
    ::fsync(fd);
    ::close(fd);
}

}  // namespace tarvelle::pst::ndb

#endif  // !_WIN32
