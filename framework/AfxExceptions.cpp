#include "CArchiveException.h"
#include "CFileException.h"
#include "CMemoryException.h"
#include "CNotSupportedException.h"

#include <new>

CException::CException(BOOL autoDelete) : m_bAutoDelete(autoDelete) {}

CException::~CException() = default;

void CException::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

namespace {

// Allocates an exception object; when even that fails, the static out-of-memory exception is
// raised in its place.
template <class Exception, class... Args>
Exception* NewException(Args&&... args)
{
    Exception* exception = new (std::nothrow) Exception(static_cast<Args&&>(args)...);
    if (!exception)
        AfxThrowMemoryException();
    return exception;
}

}  // namespace

void AfxThrowMemoryException()
{
    static CMemoryException s_outOfMemory(FALSE);
    throw &s_outOfMemory;
}

void AfxThrowNotSupportedException() { throw NewException<CNotSupportedException>(); }

CArchiveException::CArchiveException(int cause, LPCTSTR fileName)
    : m_cause(cause), m_strFileName(fileName)
{
}

void AfxThrowArchiveException(int cause, LPCTSTR fileName)
{
    throw NewException<CArchiveException>(cause, fileName);
}

CFileException::CFileException(int cause, LONG osError, LPCTSTR fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
{
}

void AfxThrowFileException(int cause, LONG osError, LPCTSTR fileName)
{
    throw NewException<CFileException>(cause, osError, fileName);
}
