// CArchive's object mechanism: the persistent-object form described in CArchive.h.
#include "AfxAllocator.h"
#include "CArchive.h"
#include "CArchiveException.h"
#include "CObject.h"

#include <functional>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

constexpr WORD kNullTag = 0;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kBigClassTag = 0x80000000;
// Indexes beyond this could not be told apart from tags once the class bit is added.
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;

}  // namespace

// What the archive has given so far (loading) or written so far (storing), by index.
struct CArchive::ObjectTables {
    // Exactly one of the two is set, except at index 0, the null object.
    struct Loaded {
        CObject* object;
        const CRuntimeClass* classRef;
    };
    using StoredIndexes = std::unordered_map<const void*, DWORD, std::hash<const void*>,
        std::equal_to<const void*>, AfxAllocator<std::pair<const void* const, DWORD>>>;

    std::vector<Loaded, AfxAllocator<Loaded>> loaded{Loaded{nullptr, nullptr}};
    StoredIndexes stored;
    DWORD storedCount = 1;
};

CArchive::ObjectTables& CArchive::Objects()
{
    if (!m_pObjects) {
        m_pObjects = new (std::nothrow) ObjectTables;
        if (!m_pObjects)
            AfxThrowMemoryException();
    }
    return *m_pObjects;
}

void CArchive::FreeObjects()
{
    delete m_pObjects;
    m_pObjects = nullptr;
}

void CArchive::WriteTag(DWORD index, bool isClass)
{
    if (index < kBigObjectTag) {
        *this << static_cast<WORD>(isClass ? (kClassTag | index) : index);
        return;
    }
    *this << kBigObjectTag << (isClass ? (kBigClassTag | index) : index);
}

void CArchive::WriteClass(const CRuntimeClass* classRef)
{
    ObjectTables& tables = Objects();
    auto known = tables.stored.find(classRef);
    if (known != tables.stored.end()) {
        WriteTag(known->second, true);
        return;
    }
    if (tables.storedCount > kMaxMapCount)
        Fail(CArchiveException::badIndex);
    *this << kNewClassTag;
    classRef->Store(*this);
    tables.stored.emplace(classRef, tables.storedCount++);
}

void CArchive::WriteObject(const CObject* pOb)
{
    if (!pOb) {
        *this << kNullTag;
        return;
    }
    ObjectTables& tables = Objects();
    auto known = tables.stored.find(pOb);
    if (known != tables.stored.end()) {
        WriteTag(known->second, false);
        return;
    }
    const CRuntimeClass* classRef = pOb->GetRuntimeClass();
    if (classRef->m_wSchema == CRuntimeClass::noSchema)
        Fail(CArchiveException::badClass);
    WriteClass(classRef);
    if (tables.storedCount > kMaxMapCount)
        Fail(CArchiveException::badIndex);
    // Indexed before its data, so that the data may refer back to the object itself.
    tables.stored.emplace(pOb, tables.storedCount++);
    const_cast<CObject*>(pOb)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* requested, DWORD& objectIndex)
{
    ObjectTables& tables = Objects();
    WORD tag = 0;
    *this >> tag;
    DWORD fullTag = 0;
    if (tag == kBigObjectTag)
        *this >> fullTag;
    else
        fullTag = (static_cast<DWORD>(tag & kClassTag) << 16) | (tag & ~kClassTag);
    if (!(fullTag & kBigClassTag)) {
        objectIndex = fullTag;
        return nullptr;
    }

    const CRuntimeClass* classRef = nullptr;
    if (tag == kNewClassTag) {
        UINT schema = 0;
        classRef = CRuntimeClass::Load(*this, &schema);
        if (schema != classRef->m_wSchema)
            Fail(CArchiveException::badSchema);
        if (tables.loaded.size() > kMaxMapCount)
            Fail(CArchiveException::badIndex);
        tables.loaded.push_back({nullptr, classRef});
    } else {
        // The index must name a class: an object there is no class record to create from.
        DWORD index = fullTag & ~kBigClassTag;
        if (index >= tables.loaded.size() || !tables.loaded[index].classRef)
            Fail(CArchiveException::badIndex);
        classRef = tables.loaded[index].classRef;
    }
    if (requested && !classRef->IsDerivedFrom(requested))
        Fail(CArchiveException::badClass);
    return classRef;
}

CObject* CArchive::ReadObject(const CRuntimeClass* requested)
{
    DWORD objectIndex = 0;
    const CRuntimeClass* classRef = ReadClass(requested, objectIndex);
    ObjectTables& tables = Objects();
    if (!classRef) {
        if (objectIndex >= tables.loaded.size() || tables.loaded[objectIndex].classRef)
            Fail(CArchiveException::badIndex);
        CObject* known = tables.loaded[objectIndex].object;
        if (known && requested && !known->IsKindOf(requested))
            Fail(CArchiveException::badClass);
        return known;
    }

    CObject* created = classRef->CreateObject();
    if (!created)
        Fail(CArchiveException::badClass);  // a class that cannot be created by name
    std::size_t index = tables.loaded.size();
    try {
        if (index > kMaxMapCount)
            Fail(CArchiveException::badIndex);
        // Indexed before its data, which may refer back to the object itself.
        tables.loaded.push_back({created, nullptr});
        created->Serialize(*this);
    } catch (...) {
        // Whatever was indexed from here on may point into the object; none of it may be given
        // out again.
        tables.loaded.resize(index);
        delete created;
        throw;
    }
    return created;
}

CArchive& operator<<(CArchive& ar, const CObject* pOb)
{
    ar.WriteObject(pOb);
    return ar;
}

CArchive& operator>>(CArchive& ar, CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}

CArchive& operator>>(CArchive& ar, const CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}
