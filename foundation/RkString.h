// The system's string of 8-bit characters. The text lives in a reference-counted block that
// copies share until one of them writes (copy-before-write). Every block is exactly as long as
// asked for: there is no growth reserve unless a caller makes one with GetBuffer. One character
// is one byte; no member knows about multi-byte character sets.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"
#include "CString.h"

#include <cstdarg>

class CArchive;

// The header in front of the characters of every block.
struct RkStringData {
    long refCount;    // sharers; -1 a locked buffer, -2 the shared empty block
    int dataLength;   // characters in use, the terminating NUL not counted
    int allocLength;  // capacity, the terminator slot not counted

    char* chars() { return reinterpret_cast<char*>(this + 1); }
};
static_assert(sizeof(RkStringData) == 12, "block header layout");

class CORVANE_API RkString {
public:
    RkString();
    RkString(const RkString& other);
    RkString(const char* text);
    RkString(const unsigned char* text);
    RkString(const CString& text);       // the text up to its first NUL
    RkString(char ch, int count);
    RkString(const char* text, int length);  // length bytes, NUL bytes included
    ~RkString();

    const RkString& operator=(const RkString& other);
    const RkString& operator=(const char* text);
    const RkString& operator=(const unsigned char* text);
    const RkString& operator=(const CString& text);  // the text up to its first NUL
    const RkString& operator=(char ch);

    const RkString& operator+=(const char* text);
    const RkString& operator+=(char ch);
    const RkString& operator+=(const RkString& text);
    const RkString& operator+=(const CString& text);  // the framework string's whole length

    friend CORVANE_API RkString operator+(const RkString& left, const RkString& right);
    friend CORVANE_API RkString operator+(const RkString& left, const CString& right);
    friend CORVANE_API RkString operator+(const CString& left, const RkString& right);
    friend CORVANE_API RkString operator+(const RkString& left, const char* right);
    friend CORVANE_API RkString operator+(const char* left, const RkString& right);
    friend CORVANE_API RkString operator+(const RkString& left, char right);
    friend CORVANE_API RkString operator+(char left, const RkString& right);

    // Buffer access. The pointers stay valid until the string next changes. A negative length
    // cannot be had and raises CMemoryException, like any other impossible length.
    char* GetBuffer(int minimum);
    void ReleaseBuffer(int length = -1);  // -1: the length up to the first NUL
    char* GetBufferSetLength(int length);
    void FreeExtra();
    char* LockBuffer();  // the block stays private: copies of the string copy the text
    void UnlockBuffer();
    void Empty();

    int GetLength() const;
    int GetAllocLength() const;
    bool IsEmpty() const;
    operator const char*() const;
    operator CString() const;  // the text up to its first NUL
    // 16-bit text kept in the string's own buffer behind the 8-bit text; cuts the string at
    // its first NUL.
    operator const unsigned short*();

    // Comparison: -1, 0 or 1, up to the first difference or NUL.
    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;
    int Collate(const char* text) const;
    int CollateNoCase(const char* text) const;

    // Positions outside the text (0 … length − 1) read NUL and write nothing.
    char GetAt(int index) const;
    char operator[](int index) const;
    void SetAt(int index, char ch);

    // Search: the index of the match, or -1. A negative start counts as 0.
    int Find(char ch) const;
    int Find(char ch, int start) const;
    int Find(const char* text) const;
    int Find(const char* text, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    // Extraction into new blocks of exactly the result's length.
    RkString Mid(int first, int count) const;
    RkString Mid(int first) const;
    RkString Left(int count) const;
    RkString Right(int count) const;
    RkString SpanIncluding(const char* set) const;
    RkString SpanExcluding(const char* set) const;

    void MakeUpper();
    void MakeLower();
    void MakeReverse();
#ifdef _WIN32
    void CharToOemA();
    void OemToCharA();
#endif

    void TrimRight();
    void TrimRight(char ch);
    void TrimRight(const char* set);
    void TrimLeft();
    void TrimLeft(char ch);
    void TrimLeft(const char* set);

    int Delete(int index, int count = 1);  // returns the length before the deletion
    int Insert(int index, char ch);        // returns the new length
    int Insert(int index, const char* text);
    int Replace(char oldCh, char newCh);   // returns the number replaced
    int Remove(char ch);                   // returns the number removed
    int Replace(const char* oldText, const char* newText);
    int ReplaceNoCase(const char* oldText, const char* newText);

    void FormatV(const char* format, va_list args);
    void Format(const char* format, ...);
#ifdef _WIN32
    void FormatMessageA(const char* format, ...);
#endif

    friend CORVANE_API CArchive& operator<<(CArchive& ar, const RkString& text);
    friend CORVANE_API CArchive& operator>>(CArchive& ar, RkString& text);

protected:
    // The header sits immediately in front of the characters.
    RkStringData* GetData() const { return reinterpret_cast<RkStringData*>(m_chars) - 1; }
    void Init();
    void AllocBuffer(int length);
    void Release();
    static void Release(RkStringData* data);
    void CopyBeforeWrite();
    void AllocBeforeWrite(int length);
    void AllocCopy(RkString& dest, int copyLength, int copyIndex, int extraLength) const;
    void AssignCopy(int length, const char* source);
    void ConcatCopy(int firstLength, const char* first, int secondLength, const char* second);
    void ConcatInPlace(int length, const char* source);
    static int SafeStrlen(const char* text);

    char* m_chars;  // the first character of the block; never null

private:
    bool IsInText(int index) const { return index >= 0 && index < GetLength(); }
    bool PointsIntoBlock(const char* text) const;
    // Sets dataLength and the terminator; the shared empty block is left untouched.
    void SetLength(int length);
    // Moves the text into a new block of exactly allocLength characters and lets go of the
    // old one (which ends a lock). The new block is allocated first, so a failure leaves the
    // string as it was.
    void MoveToNewBlock(int allocLength);
    void DropFront(int count);
    int FormatIntoBuffer(const char* format, va_list args);
    int ReplaceMatches(const char* oldText, const char* newText, bool ignoreCase);
};

CORVANE_API const RkString& RkGetEmptyString();

CORVANE_API bool operator==(const RkString& left, const RkString& right);
CORVANE_API bool operator==(const RkString& left, const char* right);
CORVANE_API bool operator==(const char* left, const RkString& right);
CORVANE_API bool operator!=(const RkString& left, const RkString& right);
CORVANE_API bool operator!=(const RkString& left, const char* right);
CORVANE_API bool operator!=(const char* left, const RkString& right);
CORVANE_API bool operator<(const RkString& left, const RkString& right);
CORVANE_API bool operator<(const RkString& left, const char* right);
CORVANE_API bool operator<(const char* left, const RkString& right);
CORVANE_API bool operator>(const RkString& left, const RkString& right);
CORVANE_API bool operator>(const RkString& left, const char* right);
CORVANE_API bool operator>(const char* left, const RkString& right);
CORVANE_API bool operator<=(const RkString& left, const RkString& right);
CORVANE_API bool operator<=(const RkString& left, const char* right);
CORVANE_API bool operator<=(const char* left, const RkString& right);
CORVANE_API bool operator>=(const RkString& left, const RkString& right);
CORVANE_API bool operator>=(const RkString& left, const char* right);
CORVANE_API bool operator>=(const char* left, const RkString& right);
