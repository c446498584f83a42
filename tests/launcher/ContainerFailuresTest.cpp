// Setup.exe's own reports of container sizes that cannot be held (ContainerFailures.cpp): still
// exceptions of the types a caller can catch, with no string behind them.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <new>
#include <typeinfo>
#include <vector>

TEST(ContainerFailures, ImpossibleSizesThrowAllocationFailures)
{
    std::vector<char> bytes;
    std::allocator<int> ints;
    const std::size_t pastAddressSpace = std::size_t(-1) / sizeof(int) + 1;
    try {
        bytes.reserve(bytes.max_size() + 1);
        ADD_FAILURE() << "no exception past the largest size";
    } catch (const std::exception& failure) {
        EXPECT_EQ(typeid(std::bad_alloc), typeid(failure)) << typeid(failure).name();
    }
    EXPECT_THROW((void)ints.allocate(pastAddressSpace), std::bad_array_new_length);
    EXPECT_THROW((void)ints.allocate(pastAddressSpace - 1), std::bad_alloc);
}
