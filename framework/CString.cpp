#include "CString.h"

#include "AfxMemory.h"
#include "AfxText.h"
#include "CArchive.h"
#include "CMemoryException.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// The empty text of every CString that owns no buffer; never written.
char s_emptyText[1] = {0};

int SafeLength(LPCSTR text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

int UnitCount(const unsigned short* text)
{
    int count = 0;
    if (text)
        while (text[count])
            ++count;
    return count;
}

// A sum of two lengths that no string can hold is an allocation that cannot succeed.
int SumOfLengths(int first, int second)
{
    if (first > INT_MAX - second)
        AfxThrowMemoryException();
    return first + second;
}

int CompareTexts(LPCSTR left, LPCSTR right)
{
    int result = std::strcmp(left ? left : "", right ? right : "");
    return (result > 0) - (result < 0);
}

}  // namespace

CString::CString() : m_pchData(s_emptyText), m_nDataLength(0), m_nAllocLength(0) {}

CString::CString(const CString& other) : CString() { Assign(other.m_pchData, other.m_nDataLength); }

CString::CString(CString&& other) noexcept
    : m_pchData(other.m_pchData), m_nDataLength(other.m_nDataLength),
      m_nAllocLength(other.m_nAllocLength)
{
    other.m_pchData = s_emptyText;
    other.m_nDataLength = 0;
    other.m_nAllocLength = 0;
}

CString::CString(char ch, int count) : CString()
{
    if (count < 1)
        return;
    Reserve(count);
    std::memset(m_pchData, static_cast<unsigned char>(ch), static_cast<std::size_t>(count));
    SetLength(count);
}

CString::CString(LPCSTR text) : CString() { Assign(text, SafeLength(text)); }

CString::CString(LPCSTR text, int length) : CString() { Assign(text, length); }

CString::CString(const unsigned char* text) : CString(reinterpret_cast<LPCSTR>(text)) {}

CString::CString(const unsigned short* text) : CString() { *this = text; }

CString::~CString()
{
    if (m_pchData != s_emptyText)
        AfxFreeGlobal(m_pchData);
}

const CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_pchData, other.m_nDataLength);
    return *this;
}

const CString& CString::operator=(CString&& other) noexcept
{
    std::swap(m_pchData, other.m_pchData);
    std::swap(m_nDataLength, other.m_nDataLength);
    std::swap(m_nAllocLength, other.m_nAllocLength);
    return *this;
}

const CString& CString::operator=(char ch)
{
    Assign(&ch, 1);
    return *this;
}

const CString& CString::operator=(LPCSTR text)
{
    Assign(text, SafeLength(text));
    return *this;
}

const CString& CString::operator=(const unsigned char* text)
{
    return *this = reinterpret_cast<LPCSTR>(text);
}

const CString& CString::operator=(const unsigned short* text)
{
    int count = UnitCount(text);
    CString narrow;
    char* chars = narrow.GetBufferSetLength(count);
    for (int i = 0; i < count; ++i)
        chars[i] = AfxNarrowChar(text[i]);
    return *this = static_cast<CString&&>(narrow);
}

const CString& CString::operator+=(const CString& text)
{
    Append(text.m_pchData, text.m_nDataLength);
    return *this;
}

const CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

const CString& CString::operator+=(LPCSTR text)
{
    Append(text, SafeLength(text));
    return *this;
}

CString CString::Concat(LPCSTR first, int firstLength, LPCSTR second, int secondLength)
{
    CString result;
    result.Reserve(SumOfLengths(firstLength, secondLength));
    result.Append(first, firstLength);
    result.Append(second, secondLength);
    return result;
}

CString operator+(const CString& left, const CString& right)
{
    return CString::Concat(left.m_pchData, left.m_nDataLength, right.m_pchData, right.m_nDataLength);
}

CString operator+(const CString& left, LPCSTR right)
{
    return CString::Concat(left.m_pchData, left.m_nDataLength, right, SafeLength(right));
}

CString operator+(LPCSTR left, const CString& right)
{
    return CString::Concat(left, SafeLength(left), right.m_pchData, right.m_nDataLength);
}

CString operator+(const CString& left, char right)
{
    return CString::Concat(left.m_pchData, left.m_nDataLength, &right, 1);
}

CString operator+(char left, const CString& right)
{
    return CString::Concat(&left, 1, right.m_pchData, right.m_nDataLength);
}

void CString::Empty()
{
    CString released(static_cast<CString&&>(*this));
}

int CString::Compare(LPCSTR text) const { return CompareTexts(m_pchData, text); }

CString CString::Mid(int first, int count) const
{
    first = std::max(first, 0);
    count = std::max(count, 0);
    if (first >= m_nDataLength)
        return CString();
    count = std::min(count, m_nDataLength - first);
    return CString(m_pchData + first, count);
}

CString CString::Mid(int first) const { return Mid(first, m_nDataLength); }

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const
{
    count = std::min(std::max(count, 0), m_nDataLength);
    return CString(m_pchData + m_nDataLength - count, count);
}

CString CString::SpanIncluding(LPCSTR set) const
{
    return Left(static_cast<int>(std::strspn(m_pchData, set ? set : "")));
}

CString CString::SpanExcluding(LPCSTR set) const
{
    return Left(static_cast<int>(std::strcspn(m_pchData, set ? set : "")));
}

char* CString::GetBuffer(int minLength)
{
    if (minLength < 0)
        AfxThrowMemoryException();
    if (minLength > m_nAllocLength || m_pchData == s_emptyText)
        Reserve(std::max(minLength, m_nDataLength));
    return m_pchData;
}

void CString::ReleaseBuffer(int newLength)
{
    if (m_pchData == s_emptyText)
        return;
    if (newLength < 0)
        newLength = AfxBufferTextLength(m_pchData, m_nAllocLength);
    SetLength(std::min(newLength, m_nAllocLength));
}

char* CString::GetBufferSetLength(int newLength)
{
    GetBuffer(newLength);
    SetLength(newLength);
    return m_pchData;
}

void CString::Assign(LPCSTR text, int length)
{
    // A length no text can have is an allocation that cannot succeed, as in GetBuffer.
    if (length < 0)
        AfxThrowMemoryException();
    if (length == 0 || text == nullptr) {
        if (m_pchData != s_emptyText)
            SetLength(0);
        return;
    }
    if (length > m_nAllocLength) {
        CString fresh;
        fresh.Reserve(length);
        *this = static_cast<CString&&>(fresh);
    }
    std::memmove(m_pchData, text, static_cast<std::size_t>(length));
    SetLength(length);
}

void CString::Append(LPCSTR text, int length)
{
    if (length == 0)
        return;
    int newLength = SumOfLengths(m_nDataLength, length);
    if (newLength > m_nAllocLength) {
        // Doubling keeps a run of appends linear; the text may come from this string itself,
        // so the old buffer lives until it has been copied.
        CString grown;
        grown.Reserve(m_nAllocLength < INT_MAX / 2 ? std::max(newLength, m_nAllocLength * 2) : newLength);
        grown.Append(m_pchData, m_nDataLength);
        grown.Append(text, length);
        *this = static_cast<CString&&>(grown);
        return;
    }
    std::memcpy(m_pchData + m_nDataLength, text, static_cast<std::size_t>(length));
    SetLength(newLength);
}

void CString::Reserve(int capacity)
{
    char* chars = static_cast<char*>(AfxAllocGlobal(static_cast<std::size_t>(capacity) + 1));
    std::memcpy(chars, m_pchData, static_cast<std::size_t>(m_nDataLength) + 1);
    chars[capacity] = '\0';  // a buffer filled to its capacity still ends there
    if (m_pchData != s_emptyText)
        AfxFreeGlobal(m_pchData);
    m_pchData = chars;
    m_nAllocLength = capacity;
}

void CString::SetLength(int length)
{
    m_nDataLength = length;
    m_pchData[length] = '\0';
}

bool operator==(const CString& left, const CString& right) { return left.Compare(right) == 0; }
bool operator==(const CString& left, LPCSTR right) { return left.Compare(right) == 0; }
bool operator==(LPCSTR left, const CString& right) { return right.Compare(left) == 0; }
bool operator!=(const CString& left, const CString& right) { return !(left == right); }
bool operator!=(const CString& left, LPCSTR right) { return !(left == right); }
bool operator!=(LPCSTR left, const CString& right) { return !(left == right); }

CArchive& operator<<(CArchive& ar, const CString& text)
{
    ar.WriteStringLength(static_cast<DWORD>(text.GetLength()));
    ar.Write(static_cast<LPCTSTR>(text), static_cast<UINT>(text.GetLength()));
    return ar;
}

CArchive& operator>>(CArchive& ar, CString& text)
{
    CArchive::StringPrefix prefix = ar.ReadStringPrefix();
    CString result;
    int length = static_cast<int>(prefix.length);
    ar.ReadStringText(result.GetBufferSetLength(length), prefix.length, prefix.wide);
    text = static_cast<CString&&>(result);
    return ar;
}
