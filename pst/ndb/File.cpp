// POSIX; the Windows build uses File_win.cpp.
#if !defined(_WIN32)

#include "pst/ndb/File.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
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

#ifdef __linux__
// Starts the write-back of each range handed over as it comes and, once kDurableEvery bytes have
// been started, waits for them and has the disk make them durable: a flush of the disk's cache,
// asked for through the file's folder (SyncDirectoryOf), which has nothing of its own to write (an
// fsync of the file would also write out its pages that are still changing). A disk that keeps
// gigabytes in its cache then never has the whole file to flush at the closing Sync. All on a
// thread of its own, so that the writer never waits for the disk.
struct File::WriteBehind {
    static constexpr std::uint64_t kDurableEvery = std::uint64_t{32} << 20;

    WriteBehind(int fd, std::filesystem::path path) : fd(fd), path(std::move(path)) {}
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    ~WriteBehind() { Stop(); }

    // The first error that means written data does not reach the disk (0: none). The waits
    // take it from the file's record, so that a later fsync would not see it again.
    int Error() {
        std::lock_guard lock(mutex);
        return error;
    }

    void Add(std::uint64_t offset, std::uint64_t length) {
        {
            std::lock_guard lock(mutex);
            if (unsupported || error != 0) return;
            queued.push_back({offset, length});
            if (!thread.joinable()) {
                try {
                    thread = std::thread([this] { Run(); });
                } catch (const std::system_error&) {
                    // No thread to be had: the closing fsync writes it all, as without the call.
                    unsupported = true;
                    queued.clear();
                    return;
                }
            }
        }
        wake.notify_one();
    }

    // Lets the thread end after what it is doing: what was handed over and not yet started is
    // left to the caller's fsync, which may go on while the thread's last wait does.
    void Finish() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
    }

    void Stop() {
        Finish();
        if (thread.joinable()) thread.join();
        std::lock_guard lock(mutex);
        stopping = false;
        queued.clear();
    }

  private:
    struct Range {
        std::uint64_t offset;
        std::uint64_t length;
    };

    // False once the system cannot do it or the data cannot reach the disk.
    bool Call(const Range& r, unsigned flags) {
        if (::sync_file_range(fd, static_cast<off_t>(r.offset), static_cast<off_t>(r.length),
                              flags) == 0)
            return true;
        const int failure = errno;
        std::lock_guard lock(mutex);
        switch (failure) {
            case ENOMEM:  // not now; the closing fsync does it
            case EINTR:
                return true;
            case ENOSYS:  // not on this kernel, file system or kind of file
            case EINVAL:
            case ESPIPE:
            case EOPNOTSUPP:
                unsupported = true;
                return false;
            default:  // EIO and the like
                error = failure;
                return false;
        }
    }

    void Run() {
        std::vector<Range> started;
        std::uint64_t startedBytes = 0;
        std::vector<Range> batch;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || !queued.empty(); });
            if (stopping) return;
            batch.swap(queued);
            lock.unlock();
            bool usable = true;
            for (const Range& r : batch) {
                if (!(usable = Call(r, SYNC_FILE_RANGE_WRITE))) break;
                started.push_back(r);
                startedBytes += r.length;
            }
            batch.clear();
            if (usable && startedBytes >= kDurableEvery) {
                for (const Range& r : started) {
                    if (!(usable = Call(r, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                               SYNC_FILE_RANGE_WAIT_AFTER)))
                        break;
                }
                // Best effort: where it does not flush, the closing fsync does it all.
                if (usable) SyncDirectoryOf(path);
                started.clear();
                startedBytes = 0;
            }
            lock.lock();
            if (!usable) return;
        }
    }

    const int fd;
    const std::filesystem::path path;  // the file's; only its folder is synced
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Range> queued;
    bool stopping = false;
    bool unsupported = false;
    int error = 0;
    std::thread thread;
};
#else
// Elsewhere the system writes the file out as it sees fit; Sync waits for all of it.
struct File::WriteBehind {
    void Finish() {}
    void Stop() {}
    int Error() { return 0; }
};
#endif

File::File() noexcept = default;

File::File(int fd, std::filesystem::path path, bool nameless)
    : fd_(fd), path_(std::move(path)), nameless_(nameless) {}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      nameless_(std::exchange(other.nameless_, false)),
      writeBehind_(std::move(other.writeBehind_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        writeBehind_.reset();  // stops its thread before the descriptor goes
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        nameless_ = std::exchange(other.nameless_, false);
        writeBehind_ = std::move(other.writeBehind_);
    }
    return *this;
}

File::~File() {
    writeBehind_.reset();
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
    if (writeBehind_) writeBehind_->Finish();
    const int failure = ::fsync(fd_) == 0 ? 0 : errno;
    if (writeBehind_) {
        writeBehind_->Stop();
        if (const int error = writeBehind_->Error()) Fail("write", error);
    }
    if (failure != 0) Fail("flush", failure);
}

void File::StartWriteBack(std::uint64_t offset, std::uint64_t length) {
#ifdef __linux__
    if (!writeBehind_) writeBehind_ = std::make_unique<WriteBehind>(fd_, path_);
    if (const int error = writeBehind_->Error()) Fail("write", error);
    writeBehind_->Add(offset, length);
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
    writeBehind_.reset();
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
