// Pages of a growing buffer are mapped ahead of its use, never past its capacity, and what the
// buffer holds never changes.
#include <gtest/gtest.h>

#include "eudora/PopulateAhead.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <vector>

namespace tarvelle::eudora {
namespace {

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)

// A private anonymous mapping of `pages` small pages, none of them touched yet.
class Region {
  public:
    explicit Region(std::size_t pages)
        : page_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))), size_(pages * page_) {
        data_ = static_cast<std::uint8_t*>(
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (data_ == MAP_FAILED) data_ = nullptr;
        // Huge pages would map far more than asked for at once.
        if (data_ != nullptr) ::madvise(data_, size_, MADV_NOHUGEPAGE);
    }
    ~Region() {
        if (data_ != nullptr) ::munmap(data_, size_);
    }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t page() const { return page_; }
    // Which pages are mapped, one flag per page.
    std::vector<bool> Mapped() const {
        std::vector<unsigned char> flags(size_ / page_);
        ::mincore(data_, size_, flags.data());
        std::vector<bool> mapped;
        for (unsigned char f : flags) mapped.push_back((f & 1) != 0);
        return mapped;
    }

  private:
    std::size_t page_;
    std::size_t size_;
    std::uint8_t* data_ = nullptr;
};

bool PopulateWorksHere(const Region& region) {
    return ::madvise(region.data(), region.page(), MADV_POPULATE_WRITE) == 0;
}

TEST(PopulateAhead, MapsARunAheadOfUseWithinCapacityAndKeepsTheContents) {
    Region region(2048);
    ASSERT_NE(region.data(), nullptr);
    Region probe(1);
    if (!PopulateWorksHere(probe)) GTEST_SKIP() << "this kernel cannot map pages ahead";
    const std::size_t page = region.page();
    const std::size_t capacity = 1000 * page + 123;  // the buffer's end, inside the region
    std::memset(region.data(), 0x5A, 100);

    PopulateAhead ahead;
    ahead.Use(region.data(), 100, capacity);
    std::vector<bool> mapped = region.Mapped();
    const std::size_t run = PopulateAhead::kRun / page;
    for (std::size_t p = 1; p < run; ++p) EXPECT_TRUE(mapped[p]) << "page " << p;
    for (std::size_t p = run + 1; p < mapped.size(); ++p) EXPECT_FALSE(mapped[p]) << "page " << p;

    // Used up to near the end of what is mapped: the next run; near the capacity: up to it only.
    ahead.Use(region.data(), (run - 1) * page, capacity);
    mapped = region.Mapped();
    EXPECT_TRUE(mapped[2 * run - 2]);
    ahead.Use(region.data(), capacity - 32 * page, capacity);
    mapped = region.Mapped();
    EXPECT_TRUE(mapped[999]);
    for (std::size_t p = 1000; p < mapped.size(); ++p) EXPECT_FALSE(mapped[p]) << "page " << p;

    for (std::size_t i = 0; i < 100; ++i) ASSERT_EQ(region.data()[i], 0x5A) << i;
    for (std::size_t i = 100; i < capacity; i += 997) ASSERT_EQ(region.data()[i], 0) << i;
}

TEST(PopulateAhead, WholeMapsEveryPageOfABufferAndKeepsItsContents) {
    Region region(300);
    ASSERT_NE(region.data(), nullptr);
    if (!PopulateWorksHere(region)) GTEST_SKIP() << "this kernel cannot map pages ahead";
    const std::size_t page = region.page();
    region.data()[5 * page + 7] = 0x77;
    PopulateAhead::Whole(region.data(), 200 * page);
    const std::vector<bool> mapped = region.Mapped();
    for (std::size_t p = 0; p < 200; ++p) EXPECT_TRUE(mapped[p]) << "page " << p;
    for (std::size_t p = 200; p < 300; ++p) EXPECT_FALSE(mapped[p]) << "page " << p;
    EXPECT_EQ(region.data()[5 * page + 7], 0x77);
    EXPECT_EQ(region.data()[150 * page], 0);
}

#else

TEST(PopulateAhead, DoesNothingWhereTheSystemCannot) {
    std::vector<std::uint8_t> buffer(100000, 7);
    PopulateAhead ahead;
    ahead.Use(buffer.data(), 10, buffer.size());
    PopulateAhead::Whole(buffer.data(), buffer.size());
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(100000, 7));
}

#endif

}  // namespace
}  // namespace tarvelle::eudora
