// A string that is also a framework object: it can be created by class name ("CObString") and
// read from and written to archives through the framework's object mechanism. All text
// operations are the framework string's, applied to m_string; members that give text give a
// new CObString.
#pragma once

#include "AfxExport.h"
#include "CString.h"
#include "DObject.h"

class CDumpContext;

class CORVANE_API CObString : public DObject {
    DECLARE_SERIAL(CObString)

public:
    CObString();
    CObString(const CString& text);
    CObString(const CObString& other);
    CObString(char ch, int count);
    CObString(const char* text);
    CObString(const char* text, int length);

    const CObString& operator=(const CObString& other);
    const CObString& operator=(char ch);
    const CObString& operator=(const char* text);
    const CObString& operator=(const unsigned char* text);
    const CObString& operator=(const unsigned short int* text);
    const CObString& operator+=(const CObString& text);
    const CObString& operator+=(char ch);
    const CObString& operator+=(const char* text);

    CObString Mid(int first, int count) const;
    CObString Mid(int first) const;
    CObString Left(int count) const;
    CObString Right(int count) const;
    CObString SpanIncluding(const char* set) const;
    CObString SpanExcluding(const char* set) const;

    // Loading: the version word where the class version asks for one (see s_version), then
    // the text in the framework string encoding; an unknown version raises
    // CNotSupportedException and leaves text and version as they were. Storing: the version
    // word 1 and the text, a form that loading reads back whenever the class version is 1 or
    // less.
    void Serialize(CArchive& ar) override;
    // Writes ` = "`, the text and `"`; nothing else.
    void Dump(CDumpContext& dc) const;

    CString m_string;

    // The archive version of the class, shared by all objects: 0 at start, -1 after a reset
    // of the class versions, else the last version read. At 1 or less every load reads a
    // version word (archives of version 1 carry one before every object); at 2 none is read
    // (archives of version 2 carry it once, before their first object). Kept without a lock:
    // archives holding CObString objects must not be read on two threads at once.
    static short s_version;
};

CORVANE_API CObString operator+(const CObString& left, const CObString& right);
CORVANE_API CObString operator+(const CObString& left, const char* right);
CORVANE_API CObString operator+(const char* left, const CObString& right);
CORVANE_API CObString operator+(const CObString& left, char right);
