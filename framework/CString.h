// The framework's string of 8-bit characters. It knows its length, so it may hold NUL bytes;
// the conversion to LPCTSTR and the members that take a C string see the text only up to the
// first NUL. Each object owns its characters (no sharing between objects).
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

class CArchive;

class CORVANE_API CString {
public:
    CString();
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString(char ch, int count);          // count < 1 gives the empty text
    CString(LPCSTR text);                 // null gives the empty text
    CString(LPCSTR text, int length);     // length bytes, NUL bytes included
    CString(const unsigned char* text);
    CString(const unsigned short* text);  // 16-bit text, see AfxNarrowChar
    ~CString();

    const CString& operator=(const CString& other);
    const CString& operator=(CString&& other) noexcept;
    const CString& operator=(char ch);
    const CString& operator=(LPCSTR text);
    const CString& operator=(const unsigned char* text);
    const CString& operator=(const unsigned short* text);

    const CString& operator+=(const CString& text);
    const CString& operator+=(char ch);
    const CString& operator+=(LPCSTR text);

    friend CORVANE_API CString operator+(const CString& left, const CString& right);
    friend CORVANE_API CString operator+(const CString& left, LPCSTR right);
    friend CORVANE_API CString operator+(LPCSTR left, const CString& right);
    friend CORVANE_API CString operator+(const CString& left, char right);
    friend CORVANE_API CString operator+(char left, const CString& right);

    int GetLength() const { return m_nDataLength; }
    BOOL IsEmpty() const { return m_nDataLength == 0; }
    void Empty();
    char GetAt(int index) const { return m_pchData[index]; }
    char operator[](int index) const { return m_pchData[index]; }
    operator LPCTSTR() const { return m_pchData; }

    // -1, 0 or 1; bytes compared as unsigned values up to the first NUL.
    int Compare(LPCSTR text) const;

    // Each clamps its arguments to the text and copies by count.
    CString Mid(int first, int count) const;
    CString Mid(int first) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(LPCSTR set) const;
    CString SpanExcluding(LPCSTR set) const;

    // Room for at least minLength characters and a terminator; the text is kept. A negative
    // length cannot be had and raises CMemoryException.
    char* GetBuffer(int minLength);
    // newLength -1 takes the length up to the first NUL.
    void ReleaseBuffer(int newLength = -1);
    char* GetBufferSetLength(int newLength);

private:
    void Assign(LPCSTR text, int length);
    void Append(LPCSTR text, int length);
    void Reserve(int capacity);
    void SetLength(int length);
    static CString Concat(LPCSTR first, int firstLength, LPCSTR second, int secondLength);

    char* m_pchData;  // never null: the empty text points at a static NUL
    int m_nDataLength;
    int m_nAllocLength;
};

CORVANE_API bool operator==(const CString& left, const CString& right);
CORVANE_API bool operator==(const CString& left, LPCSTR right);
CORVANE_API bool operator==(LPCSTR left, const CString& right);
CORVANE_API bool operator!=(const CString& left, const CString& right);
CORVANE_API bool operator!=(const CString& left, LPCSTR right);
CORVANE_API bool operator!=(LPCSTR left, const CString& right);

// The framework string encoding: a length prefix (CArchive::WriteStringLength) and the bytes.
CORVANE_API CArchive& operator<<(CArchive& ar, const CString& text);
// Also reads the 16-bit form that the 0xFFFE marker announces.
CORVANE_API CArchive& operator>>(CArchive& ar, CString& text);
