// Raised when an object is asked for something it does not support (an unknown format version).
#pragma once

#include "CException.h"

class CNotSupportedException : public CException {
public:
    CNotSupportedException() = default;
};

[[noreturn]] void AfxThrowNotSupportedException();
