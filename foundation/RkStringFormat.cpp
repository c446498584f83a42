// RkString's conversions to other forms of text and its formatting.
#include "RkString.h"
#include "RkStringInternals.h"

#include "CMemoryException.h"
#include "SystemFormat.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace rkstring;

namespace {

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
// Formatting

int RkString::FormatIntoBuffer(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    RkStringData* data = GetData();
    int written = data->refCount == kSharedEmpty
                      ? platform::FormatTextV(nullptr, 0, format, copy)
                      : platform::FormatTextV(m_chars, static_cast<std::size_t>(data->allocLength) + 1, format, copy);
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
