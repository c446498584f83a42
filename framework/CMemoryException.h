// Raised whenever an allocation fails.
#pragma once

#include "AfxExport.h"
#include "CException.h"

class CORVANE_API CMemoryException : public CException {
public:
    explicit CMemoryException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
};

// Throws the process's single static CMemoryException, so that reporting an allocation failure
// never needs an allocation itself.
[[noreturn]] CORVANE_API void AfxThrowMemoryException();
