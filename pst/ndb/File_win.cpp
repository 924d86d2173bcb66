// The node database's file operations on Windows: positioned writes through the file handle, new
// files created exclusively under their own name for their owner alone, and shared for deletion
// so that a file this program created can be taken back while it is open.
#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>
// io.h and fcntl.h give the C runtime descriptor that File keeps around the handle.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "pst/ndb/File.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {
namespace {

std::string ErrorText(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length)
                                                       : "error " + std::to_string(error);
    ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Paths in messages as UTF-8, whatever characters they hold.
std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// Chunks of at most 1 GiB keep every length within a DWORD.
constexpr std::size_t kChunk = std::size_t{1} << 30;

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// Security attributes that give the file's owner alone access to a new file ("D:P" protects the
// list from the folder's inherited entries); none where they cannot be built, and the folder's
// permissions apply as they would anyway.
class OwnerOnly {
  public:
    OwnerOnly() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<std::uint8_t> user(size);
        LPWSTR sid = nullptr;
        if (size > 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
            ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   &descriptor_, nullptr);
            ::LocalFree(sid);
        }
        ::CloseHandle(token);
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    ~OwnerOnly() { ::LocalFree(descriptor_); }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;
    SECURITY_ATTRIBUTES* Get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

// The system writes the file out as it sees fit; Sync waits for all of it.
struct File::WriteBehind {};

File::File() noexcept = default;

File::File(int fd, std::filesystem::path path, bool nameless)
    : fd_(fd), path_(std::move(path)), nameless_(nameless) {}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::_close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        nameless_ = false;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) ::_close(fd_);
}

void File::Fail(const char* action, int error) const {
    throw IoError("Could not " + std::string(action) + " " + PathText(path_) + ": " +
                  ErrorText(static_cast<DWORD>(error)));
}

std::optional<File> File::CreateExclusive(const std::filesystem::path& path) {
    // Shared for deletion, so that the file can be taken back (Unlink) while it is open.
    OwnerOnly security;
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  security.Get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return std::nullopt;
        throw IoError("Could not create " + PathText(path) + ": " + ErrorText(error));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                     sizeof(disposition));
        ::CloseHandle(handle);
        throw IoError("Could not create " + PathText(path) + ": " +
                      ErrorText(ERROR_TOO_MANY_OPEN_FILES));
    }
    return File(fd, path, false);
}

// Windows has no nameless files: the new file takes its name at once.
File File::CreateNew(const std::filesystem::path& target, bool /*nameless*/) {
    if (auto file = CreateExclusive(target)) return std::move(*file);
    throw FileExistsError("Could not create " + PathText(target) + ": " +
                          ErrorText(ERROR_FILE_EXISTS));
}

void File::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    iovec one{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    WriteVectorAt(std::span<iovec>(&one, 1), offset);
}

void File::ReadAt(std::span<std::uint8_t> bytes, std::uint64_t offset) const {
    const HANDLE handle = HandleOf(fd_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto length = static_cast<DWORD>(std::min(bytes.size() - done, kChunk));
        OVERLAPPED at = At(offset + done);
        DWORD got = 0;
        if (!::ReadFile(handle, bytes.data() + done, length, &got, &at))
            Fail("read", static_cast<int>(::GetLastError()));
        if (got == 0) Fail("read", ERROR_HANDLE_EOF);
        done += got;
    }
}

void File::WriteVectorAt(std::span<iovec> buffers, std::uint64_t offset) {
    const HANDLE handle = HandleOf(fd_);
    for (const iovec& buffer : buffers) {
        const auto* data = static_cast<const std::uint8_t*>(buffer.iov_base);
        std::size_t left = buffer.iov_len;
        while (left > 0) {
            const auto length = static_cast<DWORD>(std::min(left, kChunk));
            OVERLAPPED at = At(offset);
            DWORD written = 0;
            if (!::WriteFile(handle, data, length, &written, &at))
                Fail("write", static_cast<int>(::GetLastError()));
            if (written == 0) Fail("write", ERROR_WRITE_FAULT);
            data += written;
            left -= written;
            offset += written;
        }
    }
}

void File::Resize(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(HandleOf(fd_), FileEndOfFileInfo, &end, sizeof(end)))
        Fail("resize", static_cast<int>(::GetLastError()));
}

void File::Sync() {
    if (!::FlushFileBuffers(HandleOf(fd_))) Fail("flush", static_cast<int>(::GetLastError()));
}

void File::ZeroAt(std::uint64_t offset, std::uint64_t length) {
    static const std::vector<std::uint8_t> zeros(64 * 1024, 0);
    for (std::uint64_t left = length; left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        WriteAt(std::span(zeros.data(), n), offset);
        offset += n;
        left -= n;
    }
}

void File::StartWriteBack(std::uint64_t /*offset*/, std::uint64_t /*length*/) {}

// Only the writer's layout asks here, as nothing is handed over early.
std::uint64_t File::PageSize() { return 4096; }

void File::Close() {
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        if (::_close(fd) != 0) Fail("close", ERROR_WRITE_FAULT);
    }
}

bool File::LinkAsNew(const std::filesystem::path& target) { return path_ == target; }

void File::Unlink() noexcept {
    if (fd_ < 0) return;
    // Removed when the last handle closes, as an unlinked POSIX file is; by the handle, so it is
    // this file whatever its name holds now.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(HandleOf(fd_), FileDispositionInfo, &disposition,
                                 sizeof(disposition));
}

// NTFS journals its directory entries: nothing to flush separately.
void SyncDirectoryOf(const std::filesystem::path& /*path*/) {}

}  // namespace tarvelle::pst::ndb

#endif  // _WIN32
