#include "CObString.h"

#include "CDumpContext.h"
#include "CNotSupportedException.h"
#include "ClassVersionLink.h"

// The record names CObject as the base class: DObject has no record of its own.
IMPLEMENT_SERIAL(CObString, CObject, 1)

short CObString::s_version = 0;

namespace {

ClassVersionLink s_versionLink(&CObString::s_version);

constexpr WORD kStoredVersion = 1;

bool IsKnownVersion(short version) { return version == 1 || version == 2; }

}  // namespace

CObString::CObString() = default;
CObString::CObString(const CString& text) : m_string(text) {}
CObString::CObString(const CObString& other) : DObject(), m_string(other.m_string) {}
CObString::CObString(char ch, int count) : m_string(ch, count) {}
CObString::CObString(const char* text) : m_string(text) {}
CObString::CObString(const char* text, int length) : m_string(text, length) {}

const CObString& CObString::operator=(const CObString& other)
{
    m_string = other.m_string;
    return *this;
}

const CObString& CObString::operator=(char ch)
{
    m_string = ch;
    return *this;
}

const CObString& CObString::operator=(const char* text)
{
    m_string = text;
    return *this;
}

const CObString& CObString::operator=(const unsigned char* text)
{
    m_string = text;
    return *this;
}

const CObString& CObString::operator=(const unsigned short int* text)
{
    m_string = text;
    return *this;
}

const CObString& CObString::operator+=(const CObString& text)
{
    m_string += text.m_string;
    return *this;
}

const CObString& CObString::operator+=(char ch)
{
    m_string += ch;
    return *this;
}

const CObString& CObString::operator+=(const char* text)
{
    m_string += text;
    return *this;
}

CObString CObString::Mid(int first, int count) const { return m_string.Mid(first, count); }
CObString CObString::Mid(int first) const { return m_string.Mid(first); }
CObString CObString::Left(int count) const { return m_string.Left(count); }
CObString CObString::Right(int count) const { return m_string.Right(count); }
CObString CObString::SpanIncluding(const char* set) const { return m_string.SpanIncluding(set); }
CObString CObString::SpanExcluding(const char* set) const { return m_string.SpanExcluding(set); }

void CObString::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        // Every object carries its version, the one form every reader takes whatever version
        // it has met before.
        ar << kStoredVersion << m_string;
        return;
    }
    if (s_version <= 1) {
        WORD version = 0;
        ar >> version;
        // An unknown version must not stay behind: every later load would be refused too.
        if (!IsKnownVersion(static_cast<short>(version)))
            AfxThrowNotSupportedException();
        s_version = static_cast<short>(version);
    } else if (!IsKnownVersion(s_version)) {
        AfxThrowNotSupportedException();
    }
    ar >> m_string;
}

void CObString::Dump(CDumpContext& dc) const { dc << " = \"" << m_string << "\""; }

CObString operator+(const CObString& left, const CObString& right) { return left.m_string + right.m_string; }
CObString operator+(const CObString& left, const char* right) { return left.m_string + right; }
CObString operator+(const char* left, const CObString& right) { return left + right.m_string; }
CObString operator+(const CObString& left, char right) { return left.m_string + right; }
