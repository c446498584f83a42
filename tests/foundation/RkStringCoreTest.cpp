#include "CMemoryException.h"
#include "FrameworkExceptionTesting.h"
#include "RkStringTesting.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <thread>
#include <vector>

namespace {

const char kNulInside[] = {'a', 'b', '\0', 'c', 'd'};

TEST(RkStringBlocks, EmptyStringsStandOnOneStaticBlockThatNothingChanges)
{
    const char* empty = RkGetEmptyString();
    {
        RkString byDefault;
        RkString fromNull(static_cast<const char*>(nullptr));
        RkString fromEmpty("");
        RkString zeroCount('x', 0);
        RkString copied(byDefault);
        RkString sum = byDefault + fromEmpty;
        for (const RkString* text : {&byDefault, &fromNull, &fromEmpty, &zeroCount, &copied, &sum})
            EXPECT_EQ(empty, static_cast<const char*>(*text));
    }
    const RkStringData& header = Header(RkGetEmptyString());
    EXPECT_EQ(-2, header.refCount);
    EXPECT_EQ(0, header.dataLength);
    EXPECT_EQ(0, header.allocLength);
    EXPECT_EQ('\0', *empty);
}

TEST(RkStringBlocks, CopiesShareUntilOneWrites)
{
    RkString first("shared");
    EXPECT_EQ(1, Header(first).refCount);
    EXPECT_EQ(6, Header(first).allocLength);
    {
        RkString second(first);
        RkString third;
        third = second;
        EXPECT_EQ(static_cast<const char*>(first), static_cast<const char*>(second));
        EXPECT_EQ(static_cast<const char*>(first), static_cast<const char*>(third));
        EXPECT_EQ(3, Header(first).refCount);

        second.SetAt(0, 'S');
        EXPECT_NE(static_cast<const char*>(first), static_cast<const char*>(second));
        EXPECT_EQ(2, Header(first).refCount);
        EXPECT_EQ(1, Header(second).refCount);
        EXPECT_STREQ("shared", first);
        EXPECT_STREQ("Shared", second);
    }
    EXPECT_EQ(1, Header(first).refCount);
}

TEST(RkStringBlocks, CopiesMadeAndDroppedOnManyThreadsLeaveTheCountExact)
{
    RkString original("counted across threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&original] {
            for (int i = 0; i < 2000; ++i) {
                RkString copy(original);
                RkString another;
                another = copy;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(1, Header(original).refCount);
}

TEST(RkStringBlocks, EmbeddedNulsSurviveCountedCopiesButNotScans)
{
    RkString text(kNulInside, 5);
    EXPECT_EQ(5, text.GetLength());
    RkString assigned;
    assigned = text;
    EXPECT_EQ(std::string(kNulInside, 5), Whole(assigned));

    text.LockBuffer();
    RkString fromLocked(text);
    EXPECT_EQ("ab", Whole(fromLocked));
    RkString assignedFromLocked;
    assignedFromLocked = text;  // assignment copies the whole text
    EXPECT_EQ(std::string(kNulInside, 5), Whole(assignedFromLocked));

    RkString withNul;
    withNul = '\0';
    EXPECT_EQ(1, withNul.GetLength());
}

TEST(RkStringBlocks, ConcatenationAllocatesExactlyAndAppendsInPlaceOnlyIntoPrivateRoom)
{
    RkString sum = RkString("ab") + 'c';
    EXPECT_EQ(3, sum.GetLength());
    EXPECT_EQ(3, sum.GetAllocLength());

    RkString roomy("abc");
    roomy.GetBuffer(10);
    const char* block = roomy;
    roomy += 'd';
    EXPECT_EQ(block, static_cast<const char*>(roomy));
    EXPECT_STREQ("abcd", roomy);

    RkString shared("abc");
    RkString sharer(shared);
    shared += 'd';
    EXPECT_EQ(4, shared.GetAllocLength());
    EXPECT_STREQ("abc", sharer);
    EXPECT_EQ(1, Header(sharer).refCount);

    RkString twice("xy");
    twice += twice;
    EXPECT_STREQ("xyxy", twice);
    EXPECT_STREQ("-xyxy-", '-' + twice + "-");
    EXPECT_STREQ("a0", RkString("a") + RkString("0"));
    EXPECT_EQ(std::string("a\0", 2), Whole(RkString("a") + '\0'));
}

TEST(RkStringBlocks, FrameworkStringsGiveTheirWholeLengthOnlyWhereConcatenated)
{
    CString withNul("xy\0z", 4);
    RkString appended("a");
    appended += withNul;
    EXPECT_EQ(std::string("axy\0z", 5), Whole(appended));
    EXPECT_EQ(std::string("xy\0zb", 5), Whole(withNul + RkString("b")));

    RkString assigned;
    assigned = withNul;
    EXPECT_EQ("xy", Whole(assigned));
    EXPECT_EQ("xy", Whole(RkString(withNul)));

    CString back = RkString(kNulInside, 5);
    EXPECT_EQ(2, back.GetLength());
}

TEST(RkStringBlocks, BufferAccessReservesReleasesAndTrims)
{
    RkString text("abc");
    char* chars = text.GetBuffer(10);
    EXPECT_EQ(10, text.GetAllocLength());
    EXPECT_EQ(3, text.GetLength());
    std::memcpy(chars, "abcde", 6);
    text.ReleaseBuffer();
    EXPECT_EQ(5, text.GetLength());
    text.FreeExtra();
    EXPECT_EQ(5, text.GetAllocLength());

    const char* block = text;
    text.GetBuffer(2);
    EXPECT_EQ(block, static_cast<const char*>(text));

    std::memcpy(text.GetBufferSetLength(7), "1234567", 7);
    EXPECT_STREQ("1234567", text);

    RkString roomy("ab");
    roomy.GetBuffer(20);
    roomy = "";  // empty text keeps the private buffer
    EXPECT_EQ(20, roomy.GetAllocLength());
    roomy.Empty();  // already empty: the buffer stays
    EXPECT_EQ(20, roomy.GetAllocLength());
    roomy = "abc";
    roomy.Empty();
    EXPECT_EQ(static_cast<const char*>(RkGetEmptyString()), static_cast<const char*>(roomy));
}

TEST(RkStringBlocks, LockedBufferIsNeverSharedUntilUnlocked)
{
    RkString text("lock");
    text.LockBuffer();
    EXPECT_EQ(-1, Header(text).refCount);
    RkString other;
    other = text;
    EXPECT_NE(static_cast<const char*>(text), static_cast<const char*>(other));
    EXPECT_STREQ("lock", other);

    text.Empty();  // stays on its locked block with no text
    EXPECT_EQ(-1, Header(text).refCount);
    EXPECT_EQ(0, text.GetLength());
    text = "abc";  // fits: the lock stays
    EXPECT_EQ(-1, Header(text).refCount);

    text.UnlockBuffer();
    EXPECT_EQ(1, Header(text).refCount);
    other = text;
    EXPECT_EQ(static_cast<const char*>(text), static_cast<const char*>(other));

    RkString locked("ab");
    locked.LockBuffer();
    locked += "cdef";  // growing moves to a new, unlocked block
    EXPECT_EQ(1, Header(locked).refCount);
    EXPECT_STREQ("abcdef", locked);

    RkString empty;
    empty.LockBuffer();
    empty.UnlockBuffer();
    EXPECT_EQ(-2, Header(RkGetEmptyString()).refCount);
}

TEST(RkStringBlocks, SixteenBitTextFollowsTheTextInItsOwnBuffer)
{
    RkString text("Ab");
    const unsigned short* wide = text;
    EXPECT_EQ(65, wide[0]);
    EXPECT_EQ(98, wide[1]);
    EXPECT_EQ(0, wide[2]);
    EXPECT_STREQ("Ab", text);
    EXPECT_EQ(2, text.GetLength());

    RkString high("\xE9");
    EXPECT_EQ(0xE9, static_cast<const unsigned short*>(high)[0]);

    RkString cut(kNulInside, 5);
    wide = cut;
    EXPECT_EQ('a', wide[0]);
    EXPECT_EQ('b', wide[1]);
    EXPECT_EQ(0, wide[2]);
    EXPECT_EQ(2, cut.GetLength());
}

TEST(RkStringBlocks, AllocationFailureRaisesMemoryExceptionAndKeepsTheText)
{
    EXPECT_TRUE(Raises<CMemoryException>([] { RkString negative("abc", -1); }));

    SKIP_UNLESS_32_BIT_ADDRESS_SPACE();
    RkString text("kept");
    RkString sharer(text);
    EXPECT_TRUE(Raises<CMemoryException>([&] { text.GetBuffer(INT_MAX); }));
    EXPECT_STREQ("kept", text);
    EXPECT_EQ(4, text.GetAllocLength());
    EXPECT_EQ(2, Header(text).refCount);
}

// Positions and lengths outside the text are caller errors; none may reach another string's
// text or memory outside this one's.
TEST(RkStringBlocks, PositionsOutsideTheTextTouchNothing)
{
    RkString empty;
    empty.SetAt(0, 'X');
    EXPECT_STREQ("", RkGetEmptyString());
    EXPECT_STREQ("", RkString("abc").Mid(5));

    RkString text("abc");
    RkString sharer(text);
    for (const int index : {-1, 3, 4, 1000, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        text.SetAt(index, 'X');
        EXPECT_EQ('\0', text.GetAt(index));
        EXPECT_EQ('\0', text[index]);
    }
    EXPECT_EQ(static_cast<const char*>(sharer), static_cast<const char*>(text));
    EXPECT_EQ(0, text.Find('a', -5));
    EXPECT_EQ(1, text.Find("bc", INT_MIN));

    for (const int length : {-1, INT_MIN}) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(Raises<CMemoryException>([&] { text.GetBuffer(length); }));
        EXPECT_TRUE(Raises<CMemoryException>([&] { text.GetBufferSetLength(length); }));
        EXPECT_TRUE(Raises<CMemoryException>([&] { empty.GetBufferSetLength(length); }));
    }
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(2, Header(text).refCount);
    EXPECT_EQ(3, text.GetAllocLength());
    EXPECT_EQ(static_cast<const char*>(RkGetEmptyString()), static_cast<const char*>(empty));
}

}  // namespace
