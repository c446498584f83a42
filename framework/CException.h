// Base of the framework's exceptions. They are thrown as pointers to heap objects and caught as
// CException*; the handler releases the object with Delete().
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

class CORVANE_API CException {
public:
    // autoDelete FALSE marks a static object that Delete() must leave alone (the out-of-memory
    // exception, which must be throwable when nothing more can be allocated).
    explicit CException(BOOL autoDelete = TRUE);
    virtual ~CException();
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    // Frees a heap exception; a static one stays.
    void Delete();

protected:
    BOOL m_bAutoDelete;
};
