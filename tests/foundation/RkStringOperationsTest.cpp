#include "RkStringTesting.h"
#include "SystemFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kNulInside[] = {'a', ' ', '\0', 'c', 'd'};

std::string Number(int value) { return std::to_string(value); }

TEST(RkStringOperations, ComparesUnsignedBytesUpToTheFirstNul)
{
    EXPECT_EQ(-1, RkString("abc").Compare("abd"));
    EXPECT_EQ(0, RkString("ABC").CompareNoCase("abc"));
    EXPECT_EQ(1, RkString("A").CompareNoCase("_"));
    EXPECT_EQ(-1, RkString("A").Compare("_"));
    EXPECT_EQ(1, RkString("\xE9").Compare("z"));
    EXPECT_EQ(-1, RkString("abc").Collate("abd"));
    EXPECT_EQ(0, RkString("MiXed").CollateNoCase("mixED"));

    RkString first(std::string("ab\0x", 4).c_str(), 4);
    RkString second(std::string("ab\0y", 4).c_str(), 4);
    EXPECT_TRUE(first == second);  // no length shortcut: the part after the NUL is not seen
    EXPECT_TRUE(RkString("a") < "b");
    EXPECT_TRUE("b" > RkString("a"));
    EXPECT_TRUE("a" <= RkString("a"));
    EXPECT_TRUE(RkString("b") >= RkString("a"));
    EXPECT_TRUE("x" != RkString("y"));
}

TEST(RkStringOperations, SearchesStopAtTheFirstNul)
{
    RkString abc("abc");
    EXPECT_EQ(2, abc.Find('c', 2));
    EXPECT_EQ(-1, abc.Find('c', 3));
    EXPECT_EQ(3, abc.Find("", 3));
    EXPECT_EQ(-1, abc.Find("", 4));
    EXPECT_EQ(3, abc.Find('\0'));
    EXPECT_EQ(1, abc.Find("bc"));
    EXPECT_EQ(0, abc.Find(""));
    EXPECT_EQ(-1, abc.Find("bd"));

    RkString repeated("abcabc");
    EXPECT_EQ(4, repeated.ReverseFind('b'));
    EXPECT_EQ(6, repeated.ReverseFind('\0'));
    EXPECT_EQ(2, repeated.FindOneOf("xc"));
    EXPECT_EQ(4, repeated.Find("bc", 2));

    RkString cut(kNulInside, 5);
    EXPECT_EQ(-1, cut.Find('c'));
    EXPECT_EQ(2, cut.Find('\0'));
}

TEST(RkStringOperations, ExtractionClampsAndNeverSharesTheSource)
{
    RkString text("abcdef");
    EXPECT_STREQ("abc", text.Mid(-2, 3));
    EXPECT_STREQ("ef", text.Mid(4, 10));
    RkString none = text.Mid(7, 1);
    EXPECT_EQ(static_cast<const char*>(RkGetEmptyString()), static_cast<const char*>(none));
    RkString whole = text.Mid(-2);
    EXPECT_STREQ("abcdef", whole);
    EXPECT_NE(static_cast<const char*>(text), static_cast<const char*>(whole));
    EXPECT_EQ(6, whole.GetAllocLength());
    EXPECT_STREQ("ef", text.Right(2));
    EXPECT_EQ(0, text.Left(-1).GetLength());
    EXPECT_STREQ("abcdef", text.Left(100));

    EXPECT_STREQ("aab", RkString("aabxa").SpanIncluding("ab"));
    EXPECT_STREQ("key", RkString("key=value").SpanExcluding("="));
    EXPECT_EQ(std::string(" \0c", 3), Whole(RkString(kNulInside, 5).Mid(1, 3)));
}

TEST(RkStringOperations, CaseAndOrderChangeOnlyTheTextBeforeTheFirstNul)
{
    RkString text(std::string("aZ\xE9\0q", 5).c_str(), 5);
    RkString sharer(text);
    text.MakeUpper();
    EXPECT_EQ(std::string("AZ\xE9\0q", 5), Whole(text));
    EXPECT_EQ(std::string("aZ\xE9\0q", 5), Whole(sharer));
    text.MakeLower();
    EXPECT_EQ(std::string("az\xE9\0q", 5), Whole(text));
    text.MakeReverse();
    EXPECT_EQ(std::string("\xE9za\0q", 5), Whole(text));
}

TEST(RkStringOperations, TrimmingFollowsTheScanRules)
{
    RkString right("ab \t");
    right.TrimRight();
    EXPECT_STREQ("ab", right);
    EXPECT_EQ(2, right.GetLength());

    RkString nulInside(kNulInside, 5);
    nulInside.TrimRight();
    EXPECT_EQ("a", Whole(nulInside));

    RkString inner("a b");
    inner.TrimRight();
    EXPECT_STREQ("a b", inner);

    RkString chars("xxaxx");
    chars.TrimRight('x');
    chars.TrimLeft('x');
    EXPECT_STREQ("a", chars);

    RkString set("-+abc+-");
    set.TrimRight("+-");
    set.TrimLeft("-+");
    EXPECT_STREQ("abc", set);

    RkString left(" \n\tabc ");
    left.TrimLeft();
    EXPECT_STREQ("abc ", left);
    EXPECT_EQ(4, left.GetLength());

    RkString leadingNuls(std::string("\0\0ab", 4).c_str(), 4);
    leadingNuls.TrimLeft('\0');
    EXPECT_EQ("ab", Whole(leadingNuls));

    RkString shared("  shared");
    RkString sharer(shared);
    shared.TrimLeft("");
    EXPECT_EQ(2, Header(shared).refCount);
    shared.TrimLeft();
    EXPECT_STREQ("shared", shared);
    EXPECT_STREQ("  shared", sharer);
}

TEST(RkStringOperations, DeleteAndInsertReturnTheirLengthsAndClampTheIndex)
{
    RkString text("abcde");
    EXPECT_EQ(5, text.Delete(1, 2));
    EXPECT_STREQ("ade", text);
    RkString tail("abcde");
    EXPECT_EQ(5, tail.Delete(3, 10));
    EXPECT_STREQ("abc", tail);
    RkString untouched("abcde");
    EXPECT_EQ(5, untouched.Delete(5, 1));
    EXPECT_STREQ("abcde", untouched);

    RkString insert("abcdefgh");
    EXPECT_EQ(9, insert.Insert(0, 'X'));
    EXPECT_STREQ("Xabcdefgh", insert);
    EXPECT_EQ(9, insert.GetAllocLength());
    RkString beyond("ab");
    EXPECT_EQ(4, beyond.Insert(100, "yz"));
    EXPECT_STREQ("abyz", beyond);
    EXPECT_EQ(4, beyond.Insert(-5, ""));

    RkString own("abc");
    own.Insert(1, static_cast<const char*>(own));  // text that lives in the string itself
    EXPECT_STREQ("aabcbc", own);
    RkString withNul("ab");
    withNul.Insert(1, '\0');
    EXPECT_EQ(std::string("a\0b", 3), Whole(withNul));
}

TEST(RkStringOperations, CharacterReplaceAndRemoveWorkOnTheWholeLength)
{
    RkString shared("banana");
    RkString sharer(shared);
    EXPECT_EQ(0, shared.Replace('a', 'a'));
    EXPECT_EQ(2, Header(shared).refCount);
    EXPECT_EQ(3, shared.Replace('a', 'o'));
    EXPECT_STREQ("bonono", shared);
    EXPECT_STREQ("banana", sharer);

    RkString nuls(std::string("a\0a", 3).c_str(), 3);
    EXPECT_EQ(1, nuls.Replace('\0', '-'));
    EXPECT_STREQ("a-a", nuls);

    RkString removing("abcb");
    EXPECT_EQ(2, removing.Remove('b'));
    EXPECT_STREQ("ac", removing);
    EXPECT_EQ(2, removing.GetLength());
}

TEST(RkStringOperations, TextReplaceCountsFirstAndSizesTheBlockExactly)
{
    RkString shrink("aaaa");
    EXPECT_EQ(2, shrink.Replace("aa", "b"));
    EXPECT_STREQ("bb", shrink);

    RkString grow("ab");
    EXPECT_EQ(1, grow.Replace("a", "xyz"));
    EXPECT_STREQ("xyzb", grow);
    EXPECT_EQ(4, grow.GetAllocLength());

    RkString vanish("abab");
    const char* block = vanish;
    EXPECT_EQ(2, vanish.Replace("ab", ""));
    EXPECT_EQ(0, vanish.GetLength());
    EXPECT_EQ(block, static_cast<const char*>(vanish));

    RkString shared("x.x");
    RkString sharer(shared);
    EXPECT_EQ(0, shared.Replace("y", "z"));
    EXPECT_EQ(2, Header(shared).refCount);
    EXPECT_EQ(2, shared.Replace("x", "long"));
    EXPECT_STREQ("long.long", shared);
    EXPECT_STREQ("x.x", sharer);

    RkString roomy("a-a-a");
    roomy.GetBuffer(64);
    block = roomy;
    EXPECT_EQ(3, roomy.Replace("a", "<a>"));
    EXPECT_STREQ("<a>-<a>-<a>", roomy);
    EXPECT_EQ(block, static_cast<const char*>(roomy));

    RkString segments(std::string("ab\0ab", 5).c_str(), 5);
    EXPECT_EQ(2, segments.Replace("ab", "c"));
    EXPECT_EQ(std::string("c\0c", 3), Whole(segments));
    RkString noSpan(std::string("a\0b", 3).c_str(), 3);
    EXPECT_EQ(0, noSpan.Replace("ab", "x"));  // a match never spans a NUL
    EXPECT_EQ(0, noSpan.Replace("", "x"));

    RkString noCase("aBcAb");
    EXPECT_EQ(2, noCase.ReplaceNoCase("AB", "x"));
    EXPECT_STREQ("xcx", noCase);
}

TEST(RkStringOperations, FormatReservesTheEstimatedRoom)
{
    RkString number;
    number.Format("%d", 5);
    EXPECT_STREQ("5", number);
    EXPECT_EQ(1, number.GetLength());
    EXPECT_EQ(32, number.GetAllocLength());

    RkString padded;
    padded.Format("%-10.3s", "abcdef");
    EXPECT_STREQ("abc       ", padded);
    EXPECT_EQ(10, padded.GetAllocLength());

    RkString null;
    null.Format("%s", static_cast<const char*>(nullptr));
    EXPECT_EQ(6, null.GetAllocLength());

    RkString percent;
    percent.Format("100%%");
    EXPECT_STREQ("100%", percent);
    EXPECT_EQ(4, percent.GetAllocLength());

    RkString hex;
    hex.Format("%#x", 255);
    EXPECT_STREQ("0xff", hex);
    EXPECT_EQ(34, hex.GetAllocLength());

    RkString starred;
    starred.Format("%*.*f|%c", 3, 2, 1.5, 'z');
    EXPECT_STREQ("1.50|z", starred);
    EXPECT_EQ(128 + 1 + 2, starred.GetAllocLength());
}

TEST(RkStringOperations, FormatGrowsWhenTheTextOutrunsTheEstimate)
{
    char expected[512];
    RkString big;
    big.Format("%f", 1e200);
    platform::FormatText(expected, sizeof(expected), "%f", 1e200);
    EXPECT_STREQ(expected, big);
    EXPECT_GT(big.GetLength(), 128);

    RkString negativeWidth;
    negativeWidth.Format("%*s|", -40, "x");
    EXPECT_EQ(41, negativeWidth.GetLength());

    // "%lld" is unknown to the estimate; the string after it must still be found.
    RkString wide;
    wide.Format("%lld %s", 1234567890123LL, "tail");
    EXPECT_STREQ("1234567890123 tail", wide);

    RkString replaced("old text that is long");
    replaced.Format("%s", "new");
    EXPECT_STREQ("new", replaced);
    replaced.Format("");
    EXPECT_TRUE(replaced.IsEmpty());
}

// Every argument is read with the size C99 gives it, or, on Windows, from a conversion that
// msvcrt.dll might read with another size on (here the long double), none.
TEST(RkStringOperations, FormatReadsArgumentsWithTheirC99Sizes)
{
    RkString text;
    text.Format("%lld|%zu|%hhd|%s|%Lf|%s", 1234567890123LL, std::size_t{7}, 200, "x", 1.5L, "y");
#ifdef _WIN32
    EXPECT_STREQ("1234567890123|7|200|x|", text);
#else
    EXPECT_STREQ("1234567890123|7|-56|x|1.500000|y", text);
#endif
}

// Both when the result needs a larger block and when it fits the room the string already has.
TEST(RkStringOperations, FormatTakesTheStringsOwnTextAsInput)
{
    RkString own("abc");
    own.Format("%s-%s", static_cast<const char*>(own), "x");
    EXPECT_STREQ("abc-x", own);
    own.GetBuffer(100);
    own.Format("<%s>", static_cast<const char*>(own));
    EXPECT_STREQ("<abc-x>", own);
    own.Format(static_cast<const char*>(own));
    EXPECT_STREQ("<abc-x>", own);
    // After a conversion the estimate cannot size, the text argument is out of its sight.
    own.Format("%lld %s", 1LL, static_cast<const char*>(own));
    EXPECT_STREQ("1 <abc-x>", own);
}

// The runtimes' formatters disagree about a format that ends inside a conversion: one prints
// the text before it, another fails. The text before it is kept on every build.
TEST(RkStringOperations, FormatEndingInsideAConversionKeepsTheTextBeforeIt)
{
    const struct {
        const char* format;
        const char* expected;
    } cases[] = {
        {"ab%", "ab"}, {"ab%-5", "ab"}, {"ab%l", "ab"}, {"ab%.*", "ab"}, {"%", ""}, {"%d:%", "7:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        RkString text("previous");
        text.Format(c.format, 7);
        EXPECT_STREQ(c.expected, text);
        EXPECT_EQ(static_cast<int>(std::strlen(c.expected)), text.GetLength());
    }
}

// Each member that takes a text gives for a null pointer what it gives for "".
TEST(RkStringOperations, NullTextCountsAsEmptyEverywhere)
{
    using Result = std::string (*)(const char*);
    const struct {
        const char* name;
        Result of;
    } results[] = {
        {"construct", [](const char* t) { return Whole(RkString(t)); }},
        {"join after", [](const char* t) { return Whole(RkString("ab") + t); }},
        {"compare", [](const char* t) { return Number(RkString("ab").Compare(t)); }},
        {"equal", [](const char* t) { return Number(RkString("") == t); }},
        {"find", [](const char* t) { return Number(RkString("abc").Find(t)); }},
        {"find from", [](const char* t) { return Number(RkString("abc").Find(t, 2)); }},
        {"find one of", [](const char* t) { return Number(RkString("abc").FindOneOf(t)); }},
        {"span including", [](const char* t) { return Whole(RkString("abc").SpanIncluding(t)); }},
        {"span excluding", [](const char* t) { return Whole(RkString("abc").SpanExcluding(t)); }},
    };
    for (const auto& result : results) {
        SCOPED_TRACE(result.name);
        EXPECT_EQ(result.of(""), result.of(nullptr));
    }

    using Edit = int (*)(RkString&, const char*);
    const struct {
        const char* name;
        Edit edit;
    } edits[] = {
        {"assign", [](RkString& s, const char* t) { return (s = t).GetLength(); }},
        {"append", [](RkString& s, const char* t) { return (s += t).GetLength(); }},
        {"insert", [](RkString& s, const char* t) { return s.Insert(1, t); }},
        {"replace old", [](RkString& s, const char* t) { return s.Replace(t, "y"); }},
        {"replace new", [](RkString& s, const char* t) { return s.Replace("ab", t); }},
        {"replace no case new", [](RkString& s, const char* t) { return s.ReplaceNoCase("AB", t); }},
        {"trim right", [](RkString& s, const char* t) { s.TrimRight(t); return 0; }},
        {"trim left", [](RkString& s, const char* t) { s.TrimLeft(t); return 0; }},
        {"format", [](RkString& s, const char* t) { s.Format(t); return 0; }},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.name);
        RkString withEmpty(" xabab "), withNull(" xabab ");
        EXPECT_EQ(edit.edit(withEmpty, ""), edit.edit(withNull, nullptr));
        EXPECT_EQ(Whole(withEmpty), Whole(withNull));
    }

    RkString text("xabab");
    EXPECT_EQ(2, text.Replace("ab", nullptr));
    EXPECT_STREQ("x", text);
    EXPECT_TRUE(RkString(static_cast<const char*>(nullptr), 3).IsEmpty());
}

}  // namespace
