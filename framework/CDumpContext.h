// Text output for object dumps, written to a file or appended to a string. Each piece is
// written as it comes; nothing is added between pieces.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

class CFile;
class CString;

class CORVANE_API CDumpContext {
public:
    // The target must outlive the context. A null target takes the text and keeps none of it.
    explicit CDumpContext(CFile* file);
    explicit CDumpContext(CString* text);
    CDumpContext(const CDumpContext&) = delete;
    CDumpContext& operator=(const CDumpContext&) = delete;

    CDumpContext& operator<<(LPCTSTR text);  // up to the first NUL; null writes nothing
    CDumpContext& operator<<(const CString& text);  // the whole text, NUL bytes included

    // Passes what the file buffers on to the system.
    void Flush();

private:
    void Output(LPCTSTR text, int length);

    CFile* m_pFile;
    CString* m_pText;
};
