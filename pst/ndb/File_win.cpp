// The node database's file operations on Windows: positioned writes through the file handle,
// replacement by rename, and files shared for deletion so that an open file can be renamed or
// replaced the way the POSIX build does it.
#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// io.h and fcntl.h give the C runtime descriptor that File keeps around the handle.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
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

// Renames the open file behind `handle` to `target`. POSIX semantics first (an open target is
// replaced, as rename(2) does); systems without them take the classic rename.
DWORD RenameHandle(HANDLE handle, const std::filesystem::path& target, bool replace) {
    const std::wstring name = target.wstring();
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), name.size() * sizeof(wchar_t));
    // FileRenameInfoEx (22) with FILE_RENAME_FLAG_REPLACE_IF_EXISTS (1) | POSIX_SEMANTICS (2).
    constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    const DWORD flags = (replace ? 1u : 0u) | 2u;
    std::memcpy(buffer.data(), &flags, sizeof(flags));
    if (::SetFileInformationByHandle(handle, kFileRenameInfoEx, info,
                                     static_cast<DWORD>(buffer.size()))) {
        return ERROR_SUCCESS;
    }
    const DWORD exError = ::GetLastError();
    if (exError == ERROR_ALREADY_EXISTS || exError == ERROR_FILE_EXISTS) return exError;
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    if (::SetFileInformationByHandle(handle, FileRenameInfo, info,
                                     static_cast<DWORD>(buffer.size()))) {
        return ERROR_SUCCESS;
    }
    return ::GetLastError();
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::_close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
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

File File::CreateTemporary(const std::filesystem::path& target) {
    const auto dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    static std::atomic<std::uint64_t> counter{0};
    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ counter.fetch_add(1));
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        std::wstring letters;
        for (int i = 0; i < 6; ++i) letters.push_back(static_cast<wchar_t>(L'a' + random() % 26));
        const auto name = dir / (L"." + target.filename().wstring() + L"." + letters + L".tmp");
        HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = ::GetLastError();
            continue;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(handle);
            ::DeleteFileW(name.c_str());
            error = ERROR_TOO_MANY_OPEN_FILES;
            break;
        }
        return File(fd, name);
    }
    throw IoError("Could not create a file in " + PathText(dir) + ": " + ErrorText(error));
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

void File::CopyFrom(const File& from, std::uint64_t length) {
    const HANDLE source = HandleOf(from.fd_);
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)));
    std::uint64_t done = 0;
    while (done < length) {
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(length - done, buffer.size()));
        OVERLAPPED at = At(done);
        DWORD got = 0;
        if (!::ReadFile(source, buffer.data(), want, &got, &at))
            Fail("read", static_cast<int>(::GetLastError()));
        if (got == 0) Fail("read", ERROR_HANDLE_EOF);  // the source is shorter than it should be
        WriteAt(std::span(buffer.data(), got), done);
        done += got;
    }
}

void File::Close() {
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        if (::_close(fd) != 0) Fail("close", ERROR_WRITE_FAULT);
    }
}

void File::RenameTo(const std::filesystem::path& target) {
    DWORD error = RenameHandle(HandleOf(fd_), target, true);
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        // Without POSIX rename semantics (older Windows, Wine) a file that is still open cannot
        // be replaced, and the writer keeps its previous file open until the copy has taken its
        // place. Move the open file aside, put this one in its place, then drop the old one
        // (it goes when its last handle closes). Should the second step fail, the old file
        // returns to its name.
        std::wstring aside = target.wstring() + L"." + std::to_wstring(::GetCurrentProcessId()) +
                             L"." + std::to_wstring(::GetTickCount64()) + L".old";
        if (::MoveFileExW(target.c_str(), aside.c_str(), 0)) {
            error = RenameHandle(HandleOf(fd_), target, false);
            if (error == ERROR_SUCCESS) {
                ::DeleteFileW(aside.c_str());
            } else {
                ::MoveFileExW(aside.c_str(), target.c_str(), 0);
            }
        }
    }
    if (error != ERROR_SUCCESS)
        throw IoError("Could not replace " + PathText(target) + ": " + ErrorText(error));
    path_ = target;
}

bool File::LinkAsNew(const std::filesystem::path& target) {
    const DWORD error = RenameHandle(HandleOf(fd_), target, false);
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
    if (error != ERROR_SUCCESS)
        throw IoError("Could not create " + PathText(target) + ": " + ErrorText(error));
    path_ = target;
    return true;
}

void File::Unlink() noexcept {
    if (fd_ >= 0) {
        // Removed when the last handle closes, as an unlinked POSIX file is.
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        if (::SetFileInformationByHandle(HandleOf(fd_), FileDispositionInfo, &disposition,
                                         sizeof(disposition)))
            return;
    }
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
}

// NTFS journals its directory entries: nothing to flush separately.
void SyncDirectoryOf(const std::filesystem::path& /*path*/) {}

}  // namespace tarvelle::pst::ndb

#endif  // _WIN32
