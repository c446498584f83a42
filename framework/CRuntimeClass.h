// The run-time record of a framework class: its name, size and schema, how to create an object
// of it, and its base class. Serialisable classes enter their record into the module's class
// list at start-up, where archives find them by the name they store.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

class CArchive;
class CObject;

struct CORVANE_API CRuntimeClass {
    // The schema of a class that is not serialisable.
    static constexpr UINT noSchema = 0xFFFF;

    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();  // null for a class that cannot be created by name
    CRuntimeClass* m_pBaseClass;
    CRuntimeClass* m_pNextClass;      // next record of the module's class list

    // A new object of the class, or null when the class cannot be created by name. Allocation
    // failures raise CMemoryException.
    CObject* CreateObject() const;
    // TRUE for the class itself and for every class derived from baseClass.
    BOOL IsDerivedFrom(const CRuntimeClass* baseClass) const;

    // Enters a record into the module's class list; a record already there stays once. Safe
    // at any time, also while other threads look classes up.
    static void Register(CRuntimeClass* newClass);
    // The registered class of that name, or null.
    static CRuntimeClass* FromName(LPCSTR className);

    // The archive form of a class: the schema word, the name's length word and its characters.
    void Store(CArchive& ar) const;
    // Reads that form and finds the class by name. Raises CArchiveException::badClass for an
    // unknown class or a name too long for one, endOfFile when the data ends.
    static CRuntimeClass* Load(CArchive& ar, UINT* schema);
};
