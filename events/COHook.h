// Behaviour attached to any event-capable object without deriving from its class. Each object
// keeps a chain of hooks that see every event before the object does; the first hook that
// answers true consumes the event.
#pragma once

#include "AfxExport.h"

struct COEvent;
class CommonObjectBase;
class ICommonObject;

class CORVANE_API COHook {
public:
    COHook();
    COHook(const COHook&) = delete;
    COHook& operator=(const COHook&) = delete;

    // A hook owns its successor: destroying the head destroys the whole chain.
    virtual ~COHook();

    // Tells a derived hook which object it serves; the base keeps nothing.
    virtual bool Init(ICommonObject* object);

    // True consumes the event; false lets it go on to the next hook and finally to the object.
    virtual bool HandleEvent(CommonObjectBase* object, COEvent* event);

    // The string form of the type query: true for exactly "COHook".
    virtual bool IsObjectType(const char* type);

    COHook* GetNext() const;

protected:
    COHook* m_next = nullptr;
};
