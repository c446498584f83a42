#include "CRuntimeClass.h"

#include "CArchive.h"
#include "CArchiveException.h"

#include <atomic>
#include <cstring>

namespace {

// The module's class list. Records are only ever put at the front, so a reader that has loaded
// the head walks a chain that no other thread changes; modules loaded later may register while
// archives look classes up.
std::atomic<CRuntimeClass*> s_moduleClasses{nullptr};

// Longest class name an archive may name, as the framework has always limited it.
constexpr WORD kMaxClassNameLength = 63;

}  // namespace

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* baseClass) const
{
    for (const CRuntimeClass* walk = this; walk; walk = walk->m_pBaseClass) {
        if (walk == baseClass)
            return TRUE;
    }
    return FALSE;
}

void CRuntimeClass::Register(CRuntimeClass* newClass)
{
    CRuntimeClass* head = s_moduleClasses.load(std::memory_order_acquire);
    do {
        for (CRuntimeClass* walk = head; walk; walk = walk->m_pNextClass) {
            if (walk == newClass)
                return;  // a second entry would close the chain into a ring
        }
        newClass->m_pNextClass = head;
    } while (!s_moduleClasses.compare_exchange_weak(head, newClass, std::memory_order_acq_rel,
                                                    std::memory_order_acquire));
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className)
{
    if (!className)
        return nullptr;
    for (CRuntimeClass* walk = s_moduleClasses.load(std::memory_order_acquire); walk;
         walk = walk->m_pNextClass) {
        if (std::strcmp(walk->m_lpszClassName, className) == 0)
            return walk;
    }
    return nullptr;
}

void CRuntimeClass::Store(CArchive& ar) const
{
    WORD length = static_cast<WORD>(std::strlen(m_lpszClassName));
    ar << static_cast<WORD>(m_wSchema) << length;
    ar.Write(m_lpszClassName, length);
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* schema)
{
    WORD schemaWord = 0;
    WORD length = 0;
    ar >> schemaWord >> length;
    if (length > kMaxClassNameLength)
        AfxThrowArchiveException(CArchiveException::badClass);
    char name[kMaxClassNameLength + 1] = {};
    if (ar.Read(name, length) != length)
        AfxThrowArchiveException(CArchiveException::endOfFile);
    if (std::strlen(name) != length)
        AfxThrowArchiveException(CArchiveException::badClass);  // a NUL inside is no class name
    *schema = schemaWord;
    CRuntimeClass* found = FromName(name);
    if (!found)
        AfxThrowArchiveException(CArchiveException::badClass);
    return found;
}
