#include "CMemFile.h"

#include "AfxMemory.h"
#include "CFileException.h"
#include "CMemoryException.h"
#include "CNotSupportedException.h"

#include <algorithm>
#include <cstring>

CMemFile::CMemFile(UINT growBytes)
    : m_buffer(nullptr), m_bufferSize(0), m_fileSize(0), m_position(0),
      m_growBytes(growBytes ? growBytes : 1), m_ownsBuffer(true)
{
}

CMemFile::CMemFile(BYTE* buffer, UINT size, UINT growBytes)
    : m_buffer(buffer), m_bufferSize(size), m_fileSize(size), m_position(0),
      m_growBytes(growBytes), m_ownsBuffer(false)
{
}

CMemFile::~CMemFile()
{
    if (m_ownsBuffer)
        AfxFreeGlobal(m_buffer);
}

BOOL CMemFile::Open(LPCTSTR, UINT) { AfxThrowNotSupportedException(); }

UINT CMemFile::Read(void* buffer, UINT count)
{
    if (m_position >= m_fileSize)
        return 0;
    UINT available = static_cast<UINT>(std::min<DWORD>(count, m_fileSize - m_position));
    std::memcpy(buffer, m_buffer + m_position, available);
    m_position += available;
    return available;
}

void CMemFile::Write(const void* buffer, UINT count)
{
    if (count == 0)
        return;
    if (count > 0xFFFFFFFFu - m_position)
        AfxThrowMemoryException();
    DWORD end = m_position + count;
    if (end > m_bufferSize)
        GrowTo(end);
    // A seek past the end leaves a gap that reads back as zeros.
    if (m_position > m_fileSize)
        std::memset(m_buffer + m_fileSize, 0, m_position - m_fileSize);
    std::memcpy(m_buffer + m_position, buffer, count);
    m_position = end;
    m_fileSize = std::max(m_fileSize, end);
}

LONG CMemFile::Seek(LONG offset, UINT from)
{
    LONG base = from == current ? static_cast<LONG>(m_position)
                : from == end   ? static_cast<LONG>(m_fileSize)
                                : 0;
    long long target = static_cast<long long>(base) + offset;
    if (target < 0 || target > 0x7FFFFFFF)
        AfxThrowFileException(CFileException::genericException, 0, m_strFileName);
    m_position = static_cast<DWORD>(target);
    return static_cast<LONG>(target);
}

void CMemFile::Close()
{
    if (m_ownsBuffer)
        AfxFreeGlobal(m_buffer);
    m_buffer = nullptr;
    m_bufferSize = m_fileSize = m_position = 0;
    m_ownsBuffer = true;
}

void CMemFile::GrowTo(DWORD size)
{
    if (m_growBytes == 0)
        AfxThrowMemoryException();
    // Round up to whole steps, and at least double, so a run of small writes stays linear.
    unsigned long long wanted = (static_cast<unsigned long long>(size) + m_growBytes - 1) /
                                m_growBytes * m_growBytes;
    wanted = std::max(wanted, 2ULL * m_bufferSize);
    DWORD newSize = wanted > 0xFFFFFFFFULL ? size : static_cast<DWORD>(wanted);
    BYTE* grown = static_cast<BYTE*>(AfxAllocGlobal(newSize));
    if (m_fileSize)
        std::memcpy(grown, m_buffer, m_fileSize);
    if (m_ownsBuffer)
        AfxFreeGlobal(m_buffer);
    m_buffer = grown;
    m_bufferSize = newSize;
    m_ownsBuffer = true;
}
