#include "CFile.h"

#include "CFileException.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kClosed = -1;

int OpenMode(UINT openFlags)
{
    int mode = (openFlags & CFile::modeReadWrite) ? O_RDWR
               : (openFlags & CFile::modeWrite)   ? O_WRONLY
                                                  : O_RDONLY;
    if (openFlags & CFile::modeCreate)
        mode |= (openFlags & CFile::modeNoTruncate) ? O_CREAT : O_CREAT | O_TRUNC;
    return mode | O_CLOEXEC;
}

}  // namespace

CFile::CFile() : m_hFile(kClosed) {}

CFile::CFile(LPCTSTR fileName, UINT openFlags) : CFile()
{
    if (!Open(fileName, openFlags))
        ThrowLastError();
}

CFile::~CFile()
{
    if (m_hFile != kClosed)
        ::close(m_hFile);
}

BOOL CFile::Open(LPCTSTR fileName, UINT openFlags)
{
    Close();
    m_strFileName = fileName;
    m_hFile = ::open(fileName, OpenMode(openFlags), 0666);
    return m_hFile != kClosed;
}

UINT CFile::Read(void* buffer, UINT count)
{
    UINT total = 0;
    while (total < count) {
        ssize_t got = ::read(m_hFile, static_cast<char*>(buffer) + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ThrowLastError();
        if (got == 0)
            break;
        total += static_cast<UINT>(got);
    }
    return total;
}

void CFile::Write(const void* buffer, UINT count)
{
    UINT total = 0;
    while (total < count) {
        ssize_t put = ::write(m_hFile, static_cast<const char*>(buffer) + total, count - total);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            ThrowLastError();
        total += static_cast<UINT>(put);
    }
}

LONG CFile::Seek(LONG offset, UINT from)
{
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t position = ::lseek(m_hFile, offset, kWhence[from <= static_cast<UINT>(end) ? from : 0u]);
    if (position < 0)
        ThrowLastError();
    return static_cast<LONG>(position);
}

DWORD CFile::GetPosition() const
{
    off_t position = ::lseek(m_hFile, 0, SEEK_CUR);
    if (position < 0)
        ThrowLastError();
    return static_cast<DWORD>(position);
}

DWORD CFile::GetLength() const
{
    struct stat status {};
    if (::fstat(m_hFile, &status) != 0)
        ThrowLastError();
    return static_cast<DWORD>(status.st_size);
}

void CFile::Flush()
{
    if (m_hFile != kClosed && ::fsync(m_hFile) != 0 && errno != EINVAL)
        ThrowLastError();
}

void CFile::Close()
{
    if (m_hFile == kClosed)
        return;
    int result = ::close(m_hFile);
    m_hFile = kClosed;
    if (result != 0)
        ThrowLastError();
}

void CFile::ThrowLastError() const
{
    int error = errno;
    AfxThrowFileException(error == ENOENT ? CFileException::fileNotFound
                                          : CFileException::genericException,
                          error, m_strFileName);
}
