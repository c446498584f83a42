// RkString's operations on its text: concatenation, comparison, search, extraction, case,
// trimming and editing.
#include "RkString.h"
#include "RkStringInternals.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

using namespace rkstring;

namespace {

bool IsWhiteSpace(char ch) { return (Byte(ch) >= 0x09 && Byte(ch) <= 0x0D) || ch == ' '; }

char ToUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

char ToLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

int Sign(int value) { return (value > 0) - (value < 0); }

int IndexOrMissing(const char* found, const char* base)
{
    return found ? static_cast<int>(found - base) : -1;
}

// Index of the first NUL at or after `from` within the first `length` characters, or `length`.
int SegmentEnd(const char* text, int from, int length)
{
    const void* nul = std::memchr(text + from, 0, static_cast<std::size_t>(length - from));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - text) : length;
}

bool MatchesAt(const char* text, const char* pattern, int patternLength, bool ignoreCase)
{
    if (!ignoreCase)
        return std::memcmp(text, pattern, static_cast<std::size_t>(patternLength)) == 0;
    for (int i = 0; i < patternLength; ++i)
        if (ToUpper(text[i]) != ToUpper(pattern[i]))
            return false;
    return true;
}

// First occurrence of pattern lying wholly in text[from, end), or -1. Folding both sides to
// upper case is the same as searching upper-case copies, without making them.
int FindInSegment(const char* text, int from, int end, const char* pattern, int patternLength,
                  bool ignoreCase)
{
    int last = end - patternLength;
    for (int at = from; at <= last; ++at) {
        if (!ignoreCase) {
            const void* first = std::memchr(text + at, pattern[0], static_cast<std::size_t>(last - at + 1));
            if (!first)
                return -1;
            at = static_cast<int>(static_cast<const char*>(first) - text);
        }
        if (MatchesAt(text + at, pattern, patternLength, ignoreCase))
            return at;
    }
    return -1;
}

// Walks the NUL-separated segments of source[0, length) and calls onMatch(index) for each
// non-overlapping occurrence, left to right; returns how many there were.
template <class OnMatch>
int ForEachMatch(const char* source, int length, const char* pattern, int patternLength,
                 bool ignoreCase, OnMatch&& onMatch)
{
    int count = 0;
    for (int segment = 0; segment < length;) {
        int end = SegmentEnd(source, segment, length);
        for (int at = segment;; ++count) {
            int match = FindInSegment(source, at, end, pattern, patternLength, ignoreCase);
            if (match < 0)
                break;
            onMatch(match);
            at = match + patternLength;
        }
        segment = end + 1;
    }
    return count;
}

// Where the run of characters satisfying `trimmed` that ends the text (up to its first NUL)
// begins, or -1 when the text does not end in such a run.
template <class Trimmed>
int TrailingRunStart(const char* text, Trimmed&& trimmed)
{
    int runStart = -1;
    for (int i = 0; text[i]; ++i) {
        if (!trimmed(text[i]))
            runStart = -1;
        else if (runStart < 0)
            runStart = i;
    }
    return runStart;
}

template <class Trimmed>
int LeadingRunLength(const char* text, int length, Trimmed&& trimmed)
{
    int run = 0;
    while (run < length && trimmed(text[run]))
        ++run;
    return run;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Concatenation

const RkString& RkString::operator+=(const char* text)
{
    ConcatInPlace(SafeStrlen(text), text);
    return *this;
}

const RkString& RkString::operator+=(char ch)
{
    // The common case of building text in a reserved buffer, without the general path's calls.
    RkStringData* data = GetData();
    if (data->refCount <= 1 && data->dataLength < data->allocLength) {
        m_chars[data->dataLength] = ch;
        m_chars[++data->dataLength] = '\0';
        return *this;
    }
    ConcatInPlace(1, &ch);
    return *this;
}

const RkString& RkString::operator+=(const RkString& text)
{
    ConcatInPlace(text.GetLength(), text.m_chars);
    return *this;
}

const RkString& RkString::operator+=(const CString& text)
{
    ConcatInPlace(text.GetLength(), text);
    return *this;
}

RkString operator+(const RkString& left, const RkString& right)
{
    RkString result;
    result.ConcatCopy(left.GetLength(), left.m_chars, right.GetLength(), right.m_chars);
    return result;
}

RkString operator+(const RkString& left, const CString& right)
{
    RkString result;
    result.ConcatCopy(left.GetLength(), left.m_chars, right.GetLength(), right);
    return result;
}

RkString operator+(const CString& left, const RkString& right)
{
    RkString result;
    result.ConcatCopy(left.GetLength(), left, right.GetLength(), right.m_chars);
    return result;
}

RkString operator+(const RkString& left, const char* right)
{
    RkString result;
    result.ConcatCopy(left.GetLength(), left.m_chars, RkString::SafeStrlen(right), right);
    return result;
}

RkString operator+(const char* left, const RkString& right)
{
    RkString result;
    result.ConcatCopy(RkString::SafeStrlen(left), left, right.GetLength(), right.m_chars);
    return result;
}

RkString operator+(const RkString& left, char right)
{
    RkString result;
    result.ConcatCopy(left.GetLength(), left.m_chars, 1, &right);
    return result;
}

RkString operator+(char left, const RkString& right)
{
    RkString result;
    result.ConcatCopy(1, &left, right.GetLength(), right.m_chars);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Comparison

int RkString::Compare(const char* text) const { return Sign(std::strcmp(m_chars, NonNull(text))); }

int RkString::CompareNoCase(const char* text) const
{
    const char* mine = m_chars;
    const char* theirs = NonNull(text);
    for (;; ++mine, ++theirs) {
        int difference = Byte(ToLower(*mine)) - Byte(ToLower(*theirs));
        if (difference != 0 || *mine == '\0')
            return Sign(difference);
    }
}

int RkString::Collate(const char* text) const { return Sign(std::strcoll(m_chars, NonNull(text))); }

// The runtime's case-insensitive collation in the default locale, which the system keeps.
int RkString::CollateNoCase(const char* text) const { return CompareNoCase(text); }

bool operator==(const RkString& left, const RkString& right) { return left.Compare(right) == 0; }
bool operator==(const RkString& left, const char* right) { return left.Compare(right) == 0; }
bool operator==(const char* left, const RkString& right) { return right.Compare(left) == 0; }
bool operator!=(const RkString& left, const RkString& right) { return left.Compare(right) != 0; }
bool operator!=(const RkString& left, const char* right) { return left.Compare(right) != 0; }
bool operator!=(const char* left, const RkString& right) { return right.Compare(left) != 0; }
bool operator<(const RkString& left, const RkString& right) { return left.Compare(right) < 0; }
bool operator<(const RkString& left, const char* right) { return left.Compare(right) < 0; }
bool operator<(const char* left, const RkString& right) { return right.Compare(left) > 0; }
bool operator>(const RkString& left, const RkString& right) { return left.Compare(right) > 0; }
bool operator>(const RkString& left, const char* right) { return left.Compare(right) > 0; }
bool operator>(const char* left, const RkString& right) { return right.Compare(left) < 0; }
bool operator<=(const RkString& left, const RkString& right) { return left.Compare(right) <= 0; }
bool operator<=(const RkString& left, const char* right) { return left.Compare(right) <= 0; }
bool operator<=(const char* left, const RkString& right) { return right.Compare(left) >= 0; }
bool operator>=(const RkString& left, const RkString& right) { return left.Compare(right) >= 0; }
bool operator>=(const RkString& left, const char* right) { return left.Compare(right) >= 0; }
bool operator>=(const char* left, const RkString& right) { return right.Compare(left) <= 0; }

// ---------------------------------------------------------------------------------------------
// Element access and search

void RkString::SetAt(int index, char ch)
{
    // Also keeps the shared empty block, which every empty string reads, unwritten.
    if (!IsInText(index))
        return;
    CopyBeforeWrite();
    m_chars[index] = ch;
}

int RkString::Find(char ch) const { return IndexOrMissing(std::strchr(m_chars, ch), m_chars); }

int RkString::Find(char ch, int start) const
{
    start = std::max(start, 0);
    if (start >= GetLength())
        return -1;
    return IndexOrMissing(std::strchr(m_chars + start, ch), m_chars);
}

int RkString::Find(const char* text) const
{
    return IndexOrMissing(std::strstr(m_chars, NonNull(text)), m_chars);
}

int RkString::Find(const char* text, int start) const
{
    start = std::max(start, 0);
    if (start > GetLength())
        return -1;
    return IndexOrMissing(std::strstr(m_chars + start, NonNull(text)), m_chars);
}

int RkString::ReverseFind(char ch) const
{
    return IndexOrMissing(std::strrchr(m_chars, ch), m_chars);
}

int RkString::FindOneOf(const char* set) const
{
    return IndexOrMissing(std::strpbrk(m_chars, NonNull(set)), m_chars);
}

// ---------------------------------------------------------------------------------------------
// Extraction

RkString RkString::Mid(int first, int count) const
{
    long long length = GetLength();
    long long from = std::max(first, 0);
    long long taken = std::max(count, 0);
    if (from + taken > length)
        taken = length - from;
    if (from > length)
        taken = 0;
    RkString result;
    AllocCopy(result, static_cast<int>(taken), static_cast<int>(from), 0);
    return result;
}

RkString RkString::Mid(int first) const
{
    long long count = static_cast<long long>(GetLength()) - first;
    return Mid(first, static_cast<int>(std::min<long long>(count, INT_MAX)));
}

RkString RkString::Left(int count) const
{
    RkString result;
    AllocCopy(result, std::min(std::max(count, 0), GetLength()), 0, 0);
    return result;
}

RkString RkString::Right(int count) const
{
    int taken = std::min(std::max(count, 0), GetLength());
    RkString result;
    AllocCopy(result, taken, GetLength() - taken, 0);
    return result;
}

RkString RkString::SpanIncluding(const char* set) const
{
    return Left(static_cast<int>(std::strspn(m_chars, NonNull(set))));
}

RkString RkString::SpanExcluding(const char* set) const
{
    return Left(static_cast<int>(std::strcspn(m_chars, NonNull(set))));
}

// ---------------------------------------------------------------------------------------------
// Case, order and code page

void RkString::MakeUpper()
{
    CopyBeforeWrite();
    for (char* cursor = m_chars; *cursor; ++cursor)
        *cursor = ToUpper(*cursor);
}

void RkString::MakeLower()
{
    CopyBeforeWrite();
    for (char* cursor = m_chars; *cursor; ++cursor)
        *cursor = ToLower(*cursor);
}

void RkString::MakeReverse()
{
    CopyBeforeWrite();
    std::reverse(m_chars, m_chars + std::strlen(m_chars));
}

#ifdef _WIN32
void RkString::CharToOemA()
{
    CopyBeforeWrite();
    ::CharToOemA(m_chars, m_chars);
}

void RkString::OemToCharA()
{
    CopyBeforeWrite();
    ::OemToCharA(m_chars, m_chars);
}
#endif

// ---------------------------------------------------------------------------------------------
// Trimming

void RkString::TrimRight()
{
    CopyBeforeWrite();
    int cut = TrailingRunStart(m_chars, IsWhiteSpace);
    if (cut >= 0)
        SetLength(cut);
}

void RkString::TrimRight(char ch)
{
    CopyBeforeWrite();
    int cut = TrailingRunStart(m_chars, [ch](char c) { return c == ch; });
    if (cut >= 0)
        SetLength(cut);
}

void RkString::TrimRight(const char* set)
{
    set = NonNull(set);
    CopyBeforeWrite();
    int cut = TrailingRunStart(m_chars, [set](char c) { return std::strchr(set, c) != nullptr; });
    if (cut >= 0)
        SetLength(cut);
}

void RkString::DropFront(int count)
{
    if (count == 0)
        return;
    int remaining = GetLength() - count;
    std::memmove(m_chars, m_chars + count, static_cast<std::size_t>(remaining) + 1);
    GetData()->dataLength = remaining;
}

void RkString::TrimLeft()
{
    CopyBeforeWrite();
    DropFront(LeadingRunLength(m_chars, GetLength(), IsWhiteSpace));
}

void RkString::TrimLeft(char ch)
{
    CopyBeforeWrite();
    DropFront(LeadingRunLength(m_chars, GetLength(), [ch](char c) { return c == ch; }));
}

void RkString::TrimLeft(const char* set)
{
    if (!set || !*set)
        return;
    CopyBeforeWrite();
    DropFront(LeadingRunLength(m_chars, GetLength(),
                               [set](char c) { return c != '\0' && std::strchr(set, c); }));
}

// ---------------------------------------------------------------------------------------------
// Editing

int RkString::Delete(int index, int count)
{
    index = std::max(index, 0);
    int length = GetLength();
    if (count > 0 && index < length) {
        CopyBeforeWrite();
        count = std::min(count, length - index);
        std::memmove(m_chars + index, m_chars + index + count,
                     static_cast<std::size_t>(length - index - count) + 1);
        GetData()->dataLength = length - count;
    }
    return length;
}

int RkString::Insert(int index, char ch)
{
    CopyBeforeWrite();
    int length = GetLength();
    index = std::min(std::max(index, 0), length);
    int newLength = CheckedLength(static_cast<long long>(length) + 1);
    if (GetAllocLength() < newLength)
        MoveToNewBlock(newLength);
    std::memmove(m_chars + index + 1, m_chars + index, static_cast<std::size_t>(length - index) + 1);
    m_chars[index] = ch;
    GetData()->dataLength = newLength;
    return newLength;
}

int RkString::Insert(int index, const char* text)
{
    int inserted = SafeStrlen(text);
    if (inserted == 0)
        return GetLength();
    if (PointsIntoBlock(text))
        return Insert(index, static_cast<const char*>(RkString(text)));
    CopyBeforeWrite();
    int length = GetLength();
    index = std::min(std::max(index, 0), length);
    int newLength = CheckedLength(static_cast<long long>(length) + inserted);
    if (GetAllocLength() < newLength)
        MoveToNewBlock(newLength);
    std::memmove(m_chars + index + inserted, m_chars + index,
                 static_cast<std::size_t>(length - index) + 1);
    std::memcpy(m_chars + index, text, static_cast<std::size_t>(inserted));
    GetData()->dataLength = newLength;
    return newLength;
}

int RkString::Replace(char oldCh, char newCh)
{
    if (oldCh == newCh)
        return 0;
    CopyBeforeWrite();
    int count = 0;
    for (char* cursor = m_chars; cursor != m_chars + GetLength(); ++cursor) {
        if (*cursor == oldCh) {
            *cursor = newCh;
            ++count;
        }
    }
    return count;
}

int RkString::Remove(char ch)
{
    CopyBeforeWrite();
    int length = GetLength();
    char* kept = std::remove(m_chars, m_chars + length, ch);
    int removed = static_cast<int>(m_chars + length - kept);
    SetLength(length - removed);
    return removed;
}

int RkString::Replace(const char* oldText, const char* newText)
{
    return ReplaceMatches(oldText, newText, false);
}

int RkString::ReplaceNoCase(const char* oldText, const char* newText)
{
    return ReplaceMatches(oldText, newText, true);
}

// Counts first, reallocates at most once, then rewrites in one pass from left to right. When
// the text grows inside its own block, it is first moved to the block's end, so the writing
// never overtakes the reading.
int RkString::ReplaceMatches(const char* oldText, const char* newText, bool ignoreCase)
{
    int oldLength = SafeStrlen(oldText);
    if (oldLength == 0)
        return 0;
    newText = NonNull(newText);
    if (PointsIntoBlock(oldText) || PointsIntoBlock(newText)) {
        // The texts would move under the rewrite: work from copies of them.
        RkString oldCopy(oldText);
        RkString newCopy(newText);
        return ReplaceMatches(oldCopy, newCopy, ignoreCase);
    }
    int newLength = SafeStrlen(newText);
    int length = GetLength();
    int count = ForEachMatch(m_chars, length, oldText, oldLength, ignoreCase, [](int) {});
    if (count == 0)
        return 0;
    int result = CheckedLength(length + static_cast<long long>(count) * (newLength - oldLength));

    if (GetData()->refCount > 1 && result <= length)
        CopyBeforeWrite();
    RkStringData* source = GetData();
    const char* from = m_chars;
    if (source->refCount > 1 || result > source->allocLength) {
        AllocBuffer(result);
    } else if (result > length) {
        from = m_chars + (result - length);
        std::memmove(const_cast<char*>(from), m_chars, static_cast<std::size_t>(length));
    }
    char* to = m_chars;
    int read = 0;
    ForEachMatch(from, length, oldText, oldLength, ignoreCase, [&](int match) {
        std::memmove(to, from + read, static_cast<std::size_t>(match - read));
        to += match - read;
        std::memcpy(to, newText, static_cast<std::size_t>(newLength));
        to += newLength;
        read = match + oldLength;
    });
    std::memmove(to, from + read, static_cast<std::size_t>(length - read));
    if (m_chars != source->chars())
        Release(source);
    SetLength(result);
    return count;
}
