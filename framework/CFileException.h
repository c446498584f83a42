// Raised by CFile when the operating system refuses an operation.
#pragma once

#include "AfxExport.h"
#include "CException.h"
#include "CString.h"

class CORVANE_API CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
    };

    CFileException(int cause, LONG osError, LPCTSTR fileName);

    int m_cause;
    LONG m_lOsError;  // errno or GetLastError() value
    CString m_strFileName;
};

[[noreturn]] CORVANE_API void AfxThrowFileException(int cause, LONG osError, LPCTSTR fileName);
