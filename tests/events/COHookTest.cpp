#include "COHook.h"

#include <gtest/gtest.h>

namespace {

// Counts its own destruction so chain ownership can be observed.
class CountedHook : public COHook {
public:
    explicit CountedHook(int* destroyed, COHook* next = nullptr) : m_destroyed(destroyed) { m_next = next; }
    ~CountedHook() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

TEST(COHookTest, BaseLetsEveryEventPassAndAcceptsAnyObject)
{
    COHook hook;
    EXPECT_TRUE(hook.Init(nullptr));
    EXPECT_FALSE(hook.HandleEvent(nullptr, nullptr));
    EXPECT_EQ(nullptr, hook.GetNext());
}

TEST(COHookTest, TypeQueryMatchesTheExactNameOnly)
{
    COHook hook;
    EXPECT_TRUE(hook.IsObjectType("COHook"));
    EXPECT_FALSE(hook.IsObjectType("cohook"));
    EXPECT_FALSE(hook.IsObjectType("COHOOK"));
    EXPECT_FALSE(hook.IsObjectType("COHookX"));
    EXPECT_FALSE(hook.IsObjectType("COHoo"));
    EXPECT_FALSE(hook.IsObjectType(""));
    EXPECT_FALSE(hook.IsObjectType(nullptr));
}

TEST(COHookTest, DestroyingTheHeadDestroysTheWholeChain)
{
    int destroyed = 0;
    auto* third = new CountedHook(&destroyed);
    auto* second = new CountedHook(&destroyed, third);
    auto* first = new CountedHook(&destroyed, second);
    EXPECT_EQ(second, first->GetNext());
    EXPECT_EQ(third, second->GetNext());
    delete first;
    EXPECT_EQ(3, destroyed);
}

}  // namespace
