// Maps the memory of a growing buffer a little ahead of its use, a run of pages at a time.
//
// A buffer filled front to back (an index, a text appended to) takes a page fault for every new
// page it touches; on a virtual machine each costs about as much as building an entry, and the
// first pass over a large book takes thousands. Asking the system to map the next run of pages
// in one call (Linux: MADV_POPULATE_WRITE) costs a tenth of that per page. Only pages inside the
// buffer's capacity and shortly ahead of its use are mapped, so what is reserved and never used
// stays untouched. Elsewhere, or where the system does not know the call, it does nothing: the
// contents never change either way.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tarvelle::eudora {

class PopulateAhead {
  public:
    // How far ahead of the used part pages are mapped.
    static constexpr std::size_t kRun = std::size_t{512} << 10;

    // `used` of the `capacity` bytes from `data` are in use. Cheap when nothing is to be done.
    void Use(const void* data, std::size_t used, std::size_t capacity) {
        const auto begin = reinterpret_cast<std::uintptr_t>(data);
        if (begin != base_) {  // a new buffer: what it holds is mapped already
            base_ = begin;
            ready_ = used;
        }
        if (used + kRun / 2 <= ready_ || ready_ >= capacity) return;
        Map(begin, used, capacity);
    }

    // The same for a vector or string, in its elements' bytes.
    template <typename Buffer>
    void Use(const Buffer& buffer) {
        constexpr std::size_t element = sizeof(*buffer.data());
        Use(buffer.data(), buffer.size() * element, buffer.capacity() * element);
    }

    // Maps all of [data, data + bytes), which is about to be written over.
    static void Whole(const void* data, std::size_t bytes) {
        const auto begin = reinterpret_cast<std::uintptr_t>(data);
        Advise(begin, begin + bytes);
    }

  private:
    void Map(std::uintptr_t begin, std::size_t used, std::size_t capacity) {
        const std::size_t to = used + kRun < capacity ? used + kRun : capacity;
        const std::uintptr_t end = Advise(begin + (ready_ > used ? ready_ : used), begin + to);
        // A last part-page stays for its first use; at the capacity there is nothing after it.
        ready_ = to == capacity ? capacity : end - begin;
    }

    // Maps the whole pages inside [from, to): the pages at either end may belong to other
    // objects, and a part-page is mapped by its first use anyway. Returns where they end.
    static std::uintptr_t Advise([[maybe_unused]] std::uintptr_t from, std::uintptr_t to) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
        static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        from = (from + page - 1) & ~(page - 1);
        to &= ~(page - 1);
        if (from < to && !unsupported_.load(std::memory_order_relaxed) &&
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0 &&
            errno == EINVAL)
            unsupported_.store(true, std::memory_order_relaxed);  // an older kernel
        return from < to ? to : from;
#else
        return to;
#endif
    }

    std::uintptr_t base_ = 0;
    std::size_t ready_ = 0;  // bytes from base_ known to be mapped
    static inline std::atomic<bool> unsupported_{false};
};

}  // namespace tarvelle::eudora
