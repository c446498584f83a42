#include "CFile.h"

#include "CFileException.h"

namespace {

DWORD DesiredAccess(UINT openFlags)
{
    if (openFlags & CFile::modeReadWrite)
        return GENERIC_READ | GENERIC_WRITE;
    return (openFlags & CFile::modeWrite) ? GENERIC_WRITE : GENERIC_READ;
}

DWORD CreationDisposition(UINT openFlags)
{
    if (!(openFlags & CFile::modeCreate))
        return OPEN_EXISTING;
    return (openFlags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

}  // namespace

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE) {}

CFile::CFile(LPCTSTR fileName, UINT openFlags) : CFile()
{
    if (!Open(fileName, openFlags))
        ThrowLastError();
}

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCTSTR fileName, UINT openFlags)
{
    Close();
    m_strFileName = fileName;
    m_hFile = CreateFileA(fileName, DesiredAccess(openFlags), FILE_SHARE_READ, nullptr,
                          CreationDisposition(openFlags), FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD got = 0;
    if (count != 0 && !ReadFile(m_hFile, buffer, count, &got, nullptr))
        ThrowLastError();
    return got;
}

void CFile::Write(const void* buffer, UINT count)
{
    DWORD put = 0;
    if (count != 0 && (!WriteFile(m_hFile, buffer, count, &put, nullptr) || put != count))
        ThrowLastError();
}

LONG CFile::Seek(LONG offset, UINT from)
{
    static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    DWORD position = SetFilePointer(m_hFile, offset, nullptr, kMethod[from <= static_cast<UINT>(end) ? from : 0u]);
    if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        ThrowLastError();
    return static_cast<LONG>(position);
}

DWORD CFile::GetPosition() const
{
    DWORD position = SetFilePointer(m_hFile, 0, nullptr, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        ThrowLastError();
    return position;
}

DWORD CFile::GetLength() const
{
    DWORD length = GetFileSize(m_hFile, nullptr);
    if (length == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        ThrowLastError();
    return length;
}

void CFile::Flush()
{
    if (m_hFile != INVALID_HANDLE_VALUE && !FlushFileBuffers(m_hFile))
        ThrowLastError();
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    BOOL closed = CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    if (!closed)
        ThrowLastError();
}

void CFile::ThrowLastError() const
{
    DWORD error = GetLastError();
    AfxThrowFileException(error == ERROR_FILE_NOT_FOUND ? CFileException::fileNotFound
                                                        : CFileException::genericException,
                          static_cast<LONG>(error), m_strFileName);
}
