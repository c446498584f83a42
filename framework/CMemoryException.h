// Raised whenever an allocation fails.
#pragma once

#include "CException.h"

class CMemoryException : public CException {
public:
    explicit CMemoryException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
};

// Throws the process's single static CMemoryException, so that reporting an allocation failure
// never needs an allocation itself.
[[noreturn]] void AfxThrowMemoryException();
