// The root of the framework's class tree: run-time class information, and the hook through
// which archives read and write an object (Serialize). The macros below give a derived class
// its run-time class record:
//   DECLARE_DYNAMIC / IMPLEMENT_DYNAMIC(class, base)            the record and the class query
//   DECLARE_DYNCREATE / IMPLEMENT_DYNCREATE(class, base)        ... and creation by name
//   DECLARE_SERIAL / IMPLEMENT_SERIAL(class, base, schema)      ... and archiving: the record joins
//                                                              the module's class list, and
//                                                              `ar >> pointer` reads the class
#pragma once

#include "AfxExport.h"
#include "CArchive.h"
#include "CRuntimeClass.h"

class CORVANE_API CObject {
public:
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    // Reads or writes the object's own data; CObject has none.
    virtual void Serialize(CArchive& ar);

    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    BOOL IsSerializable() const;

    static CRuntimeClass classCObject;

    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

protected:
    CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                                                            \
public:                                                                                        \
    static CRuntimeClass class##class_name;                                                    \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                          \
    DECLARE_DYNAMIC(class_name)                                                                \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name)                                                             \
    DECLARE_DYNCREATE(class_name)                                                              \
    friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create)                    \
    CRuntimeClass class_name::class##class_name = {                                            \
        #class_name, static_cast<int>(sizeof(class_name)), schema, create,                     \
        RUNTIME_CLASS(base_class_name), nullptr};                                              \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                         \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, CRuntimeClass::noSchema, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                       \
    CObject* class_name::CreateObject() { return new class_name; }                            \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, CRuntimeClass::noSchema,               \
                           class_name::CreateObject)

// The object is created with its class's own operator new, so class-level allocators apply.
#define IMPLEMENT_SERIAL(class_name, base_class_name, schema)                                  \
    CObject* class_name::CreateObject() { return new class_name; }                            \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, class_name::CreateObject)      \
    [[maybe_unused]] static const bool s_registered##class_name =                              \
        (CRuntimeClass::Register(RUNTIME_CLASS(class_name)), true);                            \
    [[maybe_unused]] CArchive& operator>>(CArchive& ar, class_name*& pOb)                      \
    {                                                                                          \
        pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name)));              \
        return ar;                                                                             \
    }
