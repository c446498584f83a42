// Raised when an object is asked for something it does not support (an unknown format version).
#pragma once

#include "AfxExport.h"
#include "CException.h"

class CORVANE_API CNotSupportedException : public CException {
public:
    CNotSupportedException() = default;
};

[[noreturn]] CORVANE_API void AfxThrowNotSupportedException();
