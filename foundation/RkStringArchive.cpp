// RkString in the archive string format.
#include "RkString.h"

#include "CArchive.h"

CArchive& operator<<(CArchive& ar, const RkString& text)
{
    ar.WriteStringLength(static_cast<DWORD>(text.GetLength()));
    ar.Write(text.m_chars, static_cast<UINT>(text.GetLength()));
    return ar;
}

// A bad prefix or a block that cannot be had leaves the string as it was; text cut short
// leaves the announced length, holding what arrived.
CArchive& operator>>(CArchive& ar, RkString& text)
{
    CArchive::StringPrefix prefix = ar.ReadStringPrefix();
    char* chars = text.GetBufferSetLength(static_cast<int>(prefix.length));
    ar.ReadStringText(chars, prefix.length, prefix.wide);
    return ar;
}
