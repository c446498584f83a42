#include "RkString.h"
#include "RkStringInternals.h"

#include "AfxMemory.h"
#include "AfxText.h"
#include "Platform.h"

#include <algorithm>
#include <cstddef>
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
