#include "RkString.h"
#include "RkStringInternals.h"

#include "AfxMemory.h"
#include "AfxText.h"
#include "CArchive.h"
#include "CMemoryException.h"
#include "Platform.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

using namespace rkstring;

namespace {

// The block of every empty string that owns no buffer. Constant-initialised, so it is ready
// before any constructor of a static string runs; never freed and never written.
struct EmptyBlock {
    RkStringData header;
    char text[1];
};
EmptyBlock s_emptyBlock = {{kSharedEmpty, 0, 0}, {'\0'}};
static_assert(offsetof(EmptyBlock, text) == sizeof(RkStringData), "characters follow the header");

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

// Decimal digits at `cursor`, passed over. Values beyond any real width are capped.
int ReadNumber(const char*& cursor)
{
    int value = 0;
    for (; *cursor >= '0' && *cursor <= '9'; ++cursor)
        value = std::min(value * 10 + (*cursor - '0'), 100000000);
    return value;
}

// What one pass over a format finds out before anything is formatted.
struct FormatEstimate {
    int length;             // the room to reserve
    int cutAt;              // where a conversion starts that the end of the format cuts short, or -1
    bool sawEveryArgument;  // false when a conversion came whose argument could not be sized
};

// The room FormatV reserves: one pass over the format, walking a copy of the arguments to see
// the lengths of strings. Once a conversion appears whose argument the pass cannot size (an
// unknown letter, such as the second 'l' of "%lld"), it stops taking arguments, so it never
// reads a pointer from the wrong place; the formatter then finds the real length. Every text
// argument it takes is shown to onText.
template <class OnText>
FormatEstimate EstimateFormatLength(const char* format, va_list args, OnText&& onText)
{
    va_list walk;
    va_copy(walk, args);
    bool inStep = true;
    long long total = 0;
    int cutAt = -1;
    auto nextInt = [&] { return inStep ? va_arg(walk, int) : 0; };

    for (const char* cursor = format; *cursor;) {
        if (*cursor != '%' || cursor[1] == '%') {
            total += 1;
            cursor += *cursor == '%' ? 2 : 1;
            continue;
        }
        const char* conversion = cursor++;
        int width = 0;
        int precision = 0;
        for (; *cursor && std::strchr("-+0 #*", *cursor); ++cursor) {
            if (*cursor == '#')
                total += 2;
            else if (*cursor == '*')
                width = nextInt();
        }
        if (width == 0)
            width = ReadNumber(cursor);
        if (*cursor == '.') {
            ++cursor;
            if (*cursor == '*') {
                precision = nextInt();
                ++cursor;
            } else {
                precision = ReadNumber(cursor);
            }
        }
        char size = 0;
        if (*cursor && std::strchr("FLNhl", *cursor))
            size = *cursor++;
        if (!*cursor) {
            cutAt = static_cast<int>(conversion - format);
            break;
        }

        long long item = 0;
        long long numeric = static_cast<long long>(width) + precision;
        switch (*cursor) {
        case 'c':
        case 's':
            if (*cursor == 'c') {
                nextInt();
                item = 2;
            } else if (inStep) {
                const char* text = va_arg(walk, const char*);
                onText(text);
                item = text ? std::max<long long>(1, static_cast<long long>(std::strlen(text))) : 6;
            } else {
                item = 1;
            }
            if (precision != 0)
                item = std::min<long long>(item, precision);
            item = std::max<long long>(item, width);
            break;
        case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
            if (size == 'L')
                inStep = false;  // a 64-bit integer in some runtimes
            nextInt();
            item = std::max<long long>(32, numeric);
            break;
        case 'e': case 'E': case 'f': case 'g': case 'G':
            if (inStep && size == 'L')
                va_arg(walk, long double);
            else if (inStep)
                va_arg(walk, double);
            item = std::max<long long>(128, numeric);
            break;
        case 'p':
        case 'n':
            if (inStep)
                va_arg(walk, void*);
            item = *cursor == 'p' ? std::max<long long>(32, numeric) : 0;
            break;
        default:
            inStep = false;
            break;
        }
        total += item;
        ++cursor;
    }
    va_end(walk);
    return {static_cast<int>(std::min<long long>(total, INT_MAX)), cutAt, inStep};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Blocks

void RkString::Init() { m_chars = s_emptyBlock.text; }

void RkString::AllocBuffer(int length)
{
    if (length == 0) {
        Init();
        return;
    }
    CheckedLength(length);
    void* block = AfxAllocGlobal(sizeof(RkStringData) + static_cast<std::size_t>(length) + 1);
    RkStringData* data = new (block) RkStringData{1, length, length};
    data->chars()[length] = '\0';
    m_chars = data->chars();
}

void RkString::Release()
{
    Release(GetData());
    Init();
}

void RkString::Release(RkStringData* data)
{
    if (data->refCount == kSharedEmpty)
        return;
    if (platform::AtomicDecrement(&data->refCount) <= 0)
        AfxFreeGlobal(data);
}

void RkString::SetLength(int length)
{
    RkStringData* data = GetData();
    if (data->refCount == kSharedEmpty)
        return;
    data->dataLength = length;
    m_chars[length] = '\0';
}

void RkString::MoveToNewBlock(int allocLength)
{
    RkStringData* old = GetData();
    int length = old->dataLength;
    AllocBuffer(allocLength);
    if (length)
        std::memcpy(m_chars, old->chars(), static_cast<std::size_t>(length));
    SetLength(length);
    Release(old);
}

// The old block is copied before it is let go of: a sharer on another thread may drop the
// last other reference at any moment, and a failed allocation leaves this string intact.
void RkString::CopyBeforeWrite()
{
    if (GetData()->refCount > 1)
        MoveToNewBlock(GetData()->dataLength);
}

void RkString::AllocBeforeWrite(int length)
{
    RkStringData* old = GetData();
    if (old->refCount > 1 || length > old->allocLength) {
        AllocBuffer(length);
        Release(old);
    }
}

void RkString::AllocCopy(RkString& dest, int copyLength, int copyIndex, int extraLength) const
{
    dest.Release();
    dest.AllocBuffer(CheckedLength(static_cast<long long>(copyLength) + extraLength));
    if (copyLength)
        std::memcpy(dest.m_chars, m_chars + copyIndex, static_cast<std::size_t>(copyLength));
}

void RkString::AssignCopy(int length, const char* source)
{
    AllocBeforeWrite(length);
    if (length)
        std::memmove(m_chars, source, static_cast<std::size_t>(length));
    SetLength(length);
}

void RkString::ConcatCopy(int firstLength, const char* first, int secondLength, const char* second)
{
    int length = CheckedLength(static_cast<long long>(firstLength) + secondLength);
    if (length == 0)
        return;
    AllocBuffer(length);
    if (firstLength)
        std::memcpy(m_chars, first, static_cast<std::size_t>(firstLength));
    if (secondLength)
        std::memcpy(m_chars + firstLength, second, static_cast<std::size_t>(secondLength));
}

void RkString::ConcatInPlace(int length, const char* source)
{
    if (length == 0)
        return;
    RkStringData* data = GetData();
    int combined = CheckedLength(static_cast<long long>(data->dataLength) + length);
    if (data->refCount <= 1 && combined <= data->allocLength) {
        std::memcpy(m_chars + data->dataLength, source, static_cast<std::size_t>(length));
        SetLength(combined);
        return;
    }
    ConcatCopy(data->dataLength, m_chars, length, source);
    Release(data);
}

int RkString::SafeStrlen(const char* text)
{
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

bool RkString::PointsIntoBlock(const char* text) const
{
    std::less_equal<const char*> atOrBefore;
    return text && atOrBefore(m_chars, text) && atOrBefore(text, m_chars + GetAllocLength());
}

const RkString& RkGetEmptyString()
{
    static const RkString s_empty;
    return s_empty;
}

// ---------------------------------------------------------------------------------------------
// Construction and assignment

RkString::RkString() { Init(); }

RkString::RkString(const RkString& other)
{
    if (other.GetData()->refCount >= 0) {
        m_chars = other.m_chars;
        platform::AtomicIncrement(&GetData()->refCount);
    } else {
        Init();
        *this = other.m_chars;
    }
}

RkString::RkString(const char* text)
{
    Init();
    int length = SafeStrlen(text);
    if (length) {
        AllocBuffer(length);
        std::memcpy(m_chars, text, static_cast<std::size_t>(length));
    }
}

RkString::RkString(const unsigned char* text)
{
    Init();
    *this = text;
}

RkString::RkString(const CString& text)
{
    Init();
    *this = text;
}

RkString::RkString(char ch, int count)
{
    Init();
    if (count >= 1) {
        AllocBuffer(count);
        std::memset(m_chars, Byte(ch), static_cast<std::size_t>(count));
    }
}

RkString::RkString(const char* text, int length)
{
    Init();
    if (text != nullptr && length != 0) {
        AllocBuffer(length);
        std::memcpy(m_chars, text, static_cast<std::size_t>(length));
    }
}

RkString::~RkString() { Release(GetData()); }

int RkString::GetLength() const { return GetData()->dataLength; }
int RkString::GetAllocLength() const { return GetData()->allocLength; }
bool RkString::IsEmpty() const { return GetData()->dataLength == 0; }
RkString::operator const char*() const { return m_chars; }
char RkString::GetAt(int index) const { return IsInText(index) ? m_chars[index] : '\0'; }
char RkString::operator[](int index) const { return GetAt(index); }

const RkString& RkString::operator=(const RkString& other)
{
    RkStringData* mine = GetData();
    RkStringData* theirs = other.GetData();
    if (m_chars == other.m_chars || (mine->refCount == kSharedEmpty && theirs->refCount == kSharedEmpty))
        return *this;
    if (mine->refCount == kLocked || theirs->refCount == kLocked) {
        AssignCopy(theirs->dataLength, other.m_chars);
        return *this;
    }
    if (theirs->refCount != kSharedEmpty)
        platform::AtomicIncrement(&theirs->refCount);
    Release();
    m_chars = other.m_chars;
    return *this;
}

const RkString& RkString::operator=(const char* text)
{
    AssignCopy(SafeStrlen(text), text);
    return *this;
}

const RkString& RkString::operator=(const unsigned char* text)
{
    return *this = reinterpret_cast<const char*>(text);
}

const RkString& RkString::operator=(const CString& text)
{
    return *this = static_cast<LPCTSTR>(text);
}

const RkString& RkString::operator=(char ch)
{
    AssignCopy(1, &ch);
    return *this;
}

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
// Buffer access

char* RkString::GetBuffer(int minimum)
{
    CheckedLength(minimum);
    RkStringData* data = GetData();
    if (data->refCount > 1 || minimum > data->allocLength)
        MoveToNewBlock(std::max(minimum, data->dataLength));
    return m_chars;
}

void RkString::ReleaseBuffer(int length)
{
    CopyBeforeWrite();
    int capacity = GetAllocLength();
    if (length < 0)
        length = AfxBufferTextLength(m_chars, capacity);
    SetLength(std::min(length, capacity));
}

char* RkString::GetBufferSetLength(int length)
{
    GetBuffer(length);
    SetLength(length);
    return m_chars;
}

void RkString::FreeExtra()
{
    RkStringData* data = GetData();
    if (data->dataLength != data->allocLength)
        MoveToNewBlock(data->dataLength);
}

char* RkString::LockBuffer()
{
    char* chars = GetBuffer(0);
    if (GetData()->refCount != kSharedEmpty)
        GetData()->refCount = kLocked;
    return chars;
}

void RkString::UnlockBuffer()
{
    if (GetData()->refCount == kLocked)
        GetData()->refCount = 1;
}

void RkString::Empty()
{
    RkStringData* data = GetData();
    if (data->dataLength == 0)
        return;
    if (data->refCount >= 0)
        Release();
    else
        AssignCopy(0, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Conversions

RkString::operator CString() const { return CString(m_chars); }

// The 16-bit text goes behind the 8-bit text in the same block: at an even offset past the
// terminator, with room for one unit per character and the terminator. Each byte becomes the
// unit of the same value, as the runtime's conversion does in its default locale.
RkString::operator const unsigned short*()
{
    long long offset = (static_cast<long long>(GetLength()) + 2) & ~1LL;
    GetBuffer(CheckedLength(3 * offset));
    unsigned short* wide = reinterpret_cast<unsigned short*>(m_chars + offset);
    int i = 0;
    do
        wide[i] = Byte(m_chars[i]);
    while (m_chars[i++]);
    ReleaseBuffer(-1);
    return wide;
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

// ---------------------------------------------------------------------------------------------
// Formatting

int RkString::FormatIntoBuffer(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    RkStringData* data = GetData();
    int written = data->refCount == kSharedEmpty
                      ? std::vsnprintf(nullptr, 0, format, copy)
                      : std::vsnprintf(m_chars, static_cast<std::size_t>(data->allocLength) + 1, format, copy);
    va_end(copy);
    return written;
}

// Reserves the estimate first; text longer than that is never written past the buffer: the
// buffer grows to the length the formatter reports and the text is formatted again.
void RkString::FormatV(const char* format, va_list args)
{
    format = NonNull(format);
    bool readsOwnText = PointsIntoBlock(format);
    FormatEstimate estimate = EstimateFormatLength(format, args, [&](const char* text) {
        readsOwnText = readsOwnText || PointsIntoBlock(text);
    });
    if (estimate.cutAt >= 0) {
        // The runtimes' formatters disagree about a conversion that the end of the format cuts
        // short (one prints the text before it, another fails), so only that text is formatted.
        FormatV(RkString(format, estimate.cutAt), args);
        return;
    }
    // Formatting into this block would move or overwrite an input that lives in it, so such
    // calls format into a fresh string; so do calls with texts the estimate could not see. The
    // shared empty block is never written, so text on it is a safe input.
    bool writable = GetData()->refCount != kSharedEmpty;
    if (writable && (readsOwnText || !estimate.sawEveryArgument)) {
        RkString fresh;
        fresh.FormatV(format, args);
        *this = fresh;
        return;
    }
    GetBuffer(estimate.length);
    int written = FormatIntoBuffer(format, args);
    if (written > GetAllocLength()) {
        GetBuffer(written);
        written = FormatIntoBuffer(format, args);
    }
    ReleaseBuffer(written < 0 ? 0 : -1);
}

void RkString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

#ifdef _WIN32
namespace {

// Owns a buffer that FormatMessageA allocated with LocalAlloc.
class LocalBuffer {
public:
    LocalBuffer() = default;
    ~LocalBuffer() { LocalFree(m_chars); }
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;
    char** receiver() { return &m_chars; }
    const char* chars() const { return m_chars; }

private:
    char* m_chars = nullptr;
};

}  // namespace

void RkString::FormatMessageA(const char* format, ...)
{
    LocalBuffer message;
    va_list args;
    va_start(args, format);
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                    NonNull(format), 0, 0, reinterpret_cast<LPSTR>(message.receiver()), 0,
                                    &args);
    va_end(args);
    if (length == 0 || !message.chars())
        AfxThrowMemoryException();
    *this = message.chars();
}
#endif

// ---------------------------------------------------------------------------------------------
// Archive

CArchive& operator<<(CArchive& ar, const RkString& text)
{
    ar.WriteStringLength(static_cast<DWORD>(text.GetLength()));
    ar.Write(text.m_chars, static_cast<UINT>(text.GetLength()));
    return ar;
}

// A bad prefix or a block that cannot be had leaves the string as it was; text cut short
// leaves the announced length, holding what arrived.
CArchive& operator>>(CArchive& ar, RkString& text)
{
    CArchive::StringPrefix prefix = ar.ReadStringPrefix();
    char* chars = text.GetBufferSetLength(static_cast<int>(prefix.length));
    ar.ReadStringText(chars, prefix.length, prefix.wide);
    return ar;
}
