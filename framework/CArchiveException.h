// Raised by archives and by the readers of archived data.
#pragma once

#include "AfxExport.h"
#include "CException.h"
#include "CString.h"

class CORVANE_API CArchiveException : public CException {
public:
    enum {
        none,
        genericException,
        readOnly,   // a write to an archive opened for loading
        endOfFile,  // the data ended before a value was complete
        writeOnly,  // a read from an archive opened for storing
        badIndex,   // the data is not in a valid format
        badClass,
        badSchema,
    };

    explicit CArchiveException(int cause = none, LPCTSTR fileName = nullptr);

    int m_cause;
    CString m_strFileName;
};

// fileName may be null (no file name).
[[noreturn]] CORVANE_API void AfxThrowArchiveException(int cause, LPCTSTR fileName = nullptr);
