#include "Rle8.h"

#include "Dib.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The write position of the expansion. Columns saturate at the row width: everything from
// there to the next end of line is dropped, and the position cannot overflow on long input.
class Rle8Cursor {
public:
    Rle8Cursor(BYTE* output, DWORD width, DWORD rows)
        : m_output(output), m_width(width), m_stride(DibStride(width, 8)), m_rows(rows) {}

    bool PastLastRow() const { return m_row >= m_rows; }

    void Fill(BYTE value, DWORD count)
    {
        const DWORD fitting = Fitting(count);
        if (fitting != 0)
            std::memset(At(), value, fitting);
        Advance(count);
    }

    void Copy(const BYTE* values, DWORD count)
    {
        const DWORD fitting = Fitting(count);
        if (fitting != 0)
            std::memcpy(At(), values, fitting);
        Advance(count);
    }

    void NextLine()
    {
        m_column = 0;
        ++m_row;
    }

    void Move(DWORD right, DWORD down)
    {
        Advance(right);
        m_row += down;
    }

private:
    DWORD Fitting(DWORD count) const
    {
        return PastLastRow() ? 0 : std::min(count, m_width - m_column);
    }
    BYTE* At() const { return m_output + m_row * m_stride + m_column; }
    void Advance(DWORD count) { m_column += std::min(count, m_width - m_column); }

    BYTE* const m_output;
    const DWORD m_width;
    const DWORD m_stride;
    const DWORD m_rows;
    DWORD m_column = 0;
    DWORD m_row = 0;
};

enum : BYTE { kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2 };

}  // namespace

void DecodeRle8(const BYTE* input, DWORD inputBytes, BYTE* output, DWORD width, DWORD rows)
{
    Rle8Cursor cursor(output, width, rows);
    DWORD at = 0;
    // Once below the last row nothing more can be written: rows only ever increase.
    while (!cursor.PastLastRow() && inputBytes - at >= 2) {
        const BYTE count = input[at];
        const BYTE value = input[at + 1];
        at += 2;
        if (count != 0) {
            cursor.Fill(value, count);
        } else if (value == kEndOfLine) {
            cursor.NextLine();
        } else if (value == kEndOfBitmap) {
            return;
        } else if (value == kDelta) {
            if (inputBytes - at < 2)
                return;
            cursor.Move(input[at], input[at + 1]);
            at += 2;
        } else {
            const DWORD literal = std::min<DWORD>(value, inputBytes - at);
            cursor.Copy(input + at, literal);
            // Literal runs are padded to 16 bits; a stream cut inside one simply ends.
            at += std::min<DWORD>(value + (value & 1), inputBytes - at);
        }
    }
}

bool ExpandRle8(BYTE* pixels, DWORD compressedBytes, DWORD width, DWORD rows)
{
    const DWORD expandedBytes = DibStride(width, 8) * rows;
    std::unique_ptr<BYTE[]> expanded(new (std::nothrow) BYTE[expandedBytes]());
    if (!expanded)
        return false;
    DecodeRle8(pixels, compressedBytes, expanded.get(), width, rows);
    std::memcpy(pixels, expanded.get(), expandedBytes);
    return true;
}
