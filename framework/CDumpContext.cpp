#include "CDumpContext.h"

#include "CFile.h"
#include "CString.h"

#include <cstring>

CDumpContext::CDumpContext(CFile* file) : m_pFile(file), m_pText(nullptr) {}

CDumpContext::CDumpContext(CString* text) : m_pFile(nullptr), m_pText(text) {}

void CDumpContext::Output(LPCTSTR text, int length)
{
    if (m_pFile)
        m_pFile->Write(text, static_cast<UINT>(length));
    else if (m_pText)
        *m_pText += CString(text, length);
}

CDumpContext& CDumpContext::operator<<(LPCTSTR text)
{
    if (text)
        Output(text, static_cast<int>(std::strlen(text)));
    return *this;
}

CDumpContext& CDumpContext::operator<<(const CString& text)
{
    Output(text, text.GetLength());
    return *this;
}

void CDumpContext::Flush()
{
    if (m_pFile)
        m_pFile->Flush();
}
