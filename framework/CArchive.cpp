#include "CArchive.h"

#include "AfxMemory.h"
#include "AfxText.h"
#include "CArchiveException.h"
#include "CFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMinimumBufferSize = 16;  // room for the largest value read through the buffer
constexpr WORD kWideMarker = 0xFFFE;
constexpr WORD kLongLength = 0xFFFF;
constexpr BYTE kWordLength = 0xFF;
constexpr DWORD kLargestLength = 0x7FFFFFFF;

void StoreLittleEndian(BYTE* bytes, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

DWORD LoadLittleEndian(const BYTE* bytes, int size)
{
    DWORD value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

CArchive::CArchive(CFile* file, UINT mode, int bufferSize, void* buffer)
    : m_pFile(file), m_nMode(mode),
      m_lpBufStart(static_cast<BYTE*>(buffer)),
      m_nBufSize(static_cast<UINT>(std::max(bufferSize, kMinimumBufferSize))),
      m_bOwnsBuffer(buffer == nullptr || bufferSize < kMinimumBufferSize), m_pObjects(nullptr)
{
    if (m_bOwnsBuffer)
        m_lpBufStart = static_cast<BYTE*>(AfxAllocGlobal(m_nBufSize));
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
}

CArchive::~CArchive()
{
    if (m_pFile && IsStoring() && !(m_nMode & bNoFlushOnDelete)) {
        try {
            Flush();
        } catch (CException* failure) {
            failure->Delete();
        }
    }
    if (m_bOwnsBuffer)
        AfxFreeGlobal(m_lpBufStart);
    FreeObjects();
}

void CArchive::CheckLoading() const
{
    if (!IsLoading())
        Fail(CArchiveException::writeOnly);
}

void CArchive::CheckStoring() const
{
    if (!IsStoring())
        Fail(CArchiveException::readOnly);
}

void CArchive::ThrowEndOfFile() const { Fail(CArchiveException::endOfFile); }

void CArchive::Fail(int cause) const { AfxThrowArchiveException(cause, m_pFile->GetFileName()); }

UINT CArchive::Read(void* buffer, UINT count)
{
    CheckLoading();
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = std::min<UINT>(count, static_cast<UINT>(m_lpBufMax - m_lpBufCur));
    if (done)
        std::memcpy(out, m_lpBufCur, done);
    m_lpBufCur += done;
    if (done == count)
        return done;
    // Large remainders go straight to the file; small ones through a refilled buffer.
    if (count - done >= m_nBufSize)
        return done + m_pFile->Read(out + done, count - done);
    UINT loaded = m_pFile->Read(m_lpBufStart, m_nBufSize);
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + loaded;
    UINT more = std::min(count - done, loaded);
    std::memcpy(out + done, m_lpBufCur, more);
    m_lpBufCur += more;
    return done + more;
}

void CArchive::Write(const void* buffer, UINT count)
{
    CheckStoring();
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    if (count >= m_nBufSize) {
        Flush();
        m_pFile->Write(bytes, count);
        return;
    }
    WriteBuffered(bytes, count);
}

void CArchive::WriteBuffered(const BYTE* bytes, UINT count)
{
    if (count > static_cast<UINT>(m_lpBufMax - m_lpBufCur))
        Flush();
    if (count)
        std::memcpy(m_lpBufCur, bytes, count);
    m_lpBufCur += count;
}

void CArchive::Flush()
{
    if (IsStoring() && m_lpBufCur != m_lpBufStart) {
        UINT pending = static_cast<UINT>(m_lpBufCur - m_lpBufStart);
        m_lpBufCur = m_lpBufStart;
        m_pFile->Write(m_lpBufStart, pending);
    }
}

void CArchive::Close()
{
    if (!m_pFile)
        return;
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort() { m_pFile = nullptr; }

void CArchive::FillBuffer(UINT count)
{
    CheckLoading();
    UINT available = static_cast<UINT>(m_lpBufMax - m_lpBufCur);
    if (available >= count)
        return;
    std::memmove(m_lpBufStart, m_lpBufCur, available);
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + available;
    while (available < count) {
        UINT loaded = m_pFile->Read(m_lpBufMax, m_nBufSize - available);
        if (loaded == 0)
            ThrowEndOfFile();
        available += loaded;
        m_lpBufMax += loaded;
    }
}

CArchive& CArchive::operator<<(BYTE value)
{
    CheckStoring();
    WriteBuffered(&value, 1);
    return *this;
}

CArchive& CArchive::operator<<(WORD value)
{
    CheckStoring();
    BYTE bytes[2];
    StoreLittleEndian(bytes, value, 2);
    WriteBuffered(bytes, 2);
    return *this;
}

CArchive& CArchive::operator<<(DWORD value)
{
    CheckStoring();
    BYTE bytes[4];
    StoreLittleEndian(bytes, value, 4);
    WriteBuffered(bytes, 4);
    return *this;
}

CArchive& CArchive::operator<<(LONG value) { return *this << static_cast<DWORD>(value); }

CArchive& CArchive::operator>>(BYTE& value)
{
    FillBuffer(1);
    value = *m_lpBufCur++;
    return *this;
}

CArchive& CArchive::operator>>(WORD& value)
{
    FillBuffer(2);
    value = static_cast<WORD>(LoadLittleEndian(m_lpBufCur, 2));
    m_lpBufCur += 2;
    return *this;
}

CArchive& CArchive::operator>>(DWORD& value)
{
    FillBuffer(4);
    value = LoadLittleEndian(m_lpBufCur, 4);
    m_lpBufCur += 4;
    return *this;
}

CArchive& CArchive::operator>>(LONG& value)
{
    DWORD bits = 0;
    *this >> bits;
    value = static_cast<LONG>(bits);
    return *this;
}

void CArchive::WriteStringLength(DWORD length)
{
    if (length < kWordLength) {
        *this << static_cast<BYTE>(length);
        return;
    }
    *this << kWordLength;
    if (length < kWideMarker) {
        *this << static_cast<WORD>(length);
        return;
    }
    *this << kLongLength << length;
}

// One prefix. A 16-bit field holding kWideMarker is no length: it sets `marker` instead.
DWORD CArchive::ReadLengthField(bool& marker)
{
    marker = false;
    BYTE byteLength = 0;
    *this >> byteLength;
    if (byteLength < kWordLength)
        return byteLength;
    WORD wordLength = 0;
    *this >> wordLength;
    if (wordLength == kWideMarker)
        marker = true;
    if (wordLength != kLongLength)
        return marker ? 0 : wordLength;
    DWORD longLength = 0;
    *this >> longLength;
    if (longLength > kLargestLength)
        Fail(CArchiveException::badIndex);
    return longLength;
}

CArchive::StringPrefix CArchive::ReadStringPrefix()
{
    StringPrefix prefix{0, false};
    prefix.length = ReadLengthField(prefix.wide);
    if (prefix.wide) {
        bool markerAgain = false;
        prefix.length = ReadLengthField(markerAgain);
        if (markerAgain)
            Fail(CArchiveException::badIndex);
    }
    return prefix;
}

void CArchive::ReadStringText(char* chars, DWORD count, bool wide)
{
    DWORD done = 0;
    if (!wide) {
        done = Read(chars, count);
    } else {
        BYTE units[512];
        while (done < count) {
            UINT wanted = static_cast<UINT>(std::min<DWORD>(count - done, sizeof(units) / 2));
            UINT got = Read(units, wanted * 2) / 2;
            for (UINT i = 0; i < got; ++i)
                chars[done + i] = AfxNarrowChar(static_cast<WORD>(LoadLittleEndian(units + 2 * i, 2)));
            done += got;
            if (got < wanted)
                break;
        }
    }
    if (done < count) {
        std::memset(chars + done, 0, count - done);
        AfxThrowArchiveException(CArchiveException::endOfFile);
    }
}
