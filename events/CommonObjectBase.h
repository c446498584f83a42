// Base of every object that can receive events. Each object draws a process-unique ID in its
// constructor and stays registered with the event manager under it for its whole life; it keeps
// an optional chain of hooks that see each event first, named additional data (its name among
// it), and offers the sends and posts that carry it as the sender.
//
// Threads: objects are created and destroyed, and handle events, on the thread that dispatches
// events. Any thread may post on an object's behalf and read or change additional data, which
// one process-wide lock guards.
#pragma once

#include "AfxExport.h"
#include "COEvent.h"
#include "OwnerLock.h"
#include "RkString.h"

#include <functional>
#include <map>

class COHook;
class CommonObject;
class CommonObjectEventManager;
class ICommonObjectCollection;

class CORVANE_API CommonObjectBase {
public:
    CommonObjectBase();
    CommonObjectBase(const CommonObjectBase&) = delete;
    CommonObjectBase& operator=(const CommonObjectBase&) = delete;

    // The virtual operations keep this order in every derived class; derived classes add theirs
    // behind them.
    virtual ~CommonObjectBase();
    virtual void ExportObject();
    virtual CommonObject* CastIfCommonObject();
    virtual void SetCOName(const char* name);
    virtual const char* GetCOName();
    virtual void* GetAdditionalData(const char* key, long* length);
    virtual CommonObjectBase* SetAdditionalData(const char* key, const void* data, long length);
    virtual CommonObjectBase* SetAdditionalData(const char* key, const char* text);
    virtual CommonObjectBase* SetAdditionalData(const char* key, int value);
    virtual bool ClearAdditionalData(const char* key);
    virtual long SetNotifyID(long id);
    virtual long GetNotifyID();
    virtual bool IsObjectType(int type);

protected:
    virtual bool HandleEvent(COEvent* event);
    // Every delivery of the routing goes through here: the hooks first, then HandleEvent.
    virtual bool HandleEventWithHooks(COEvent* event);
    virtual bool OnIdle(unsigned long time);
    virtual bool OnKilled();
    virtual bool Notify(unsigned int code, short a, short b);
    virtual bool Notify(unsigned int code, void* pointer);
    virtual bool Notify(unsigned int code, long value);
    virtual bool Notify(COEvent* event);

public:
    long GetID() const;
    COHook* GetHook() const;
    ICommonObjectCollection* GetParent() const;
    CommonObjectEventManager* GetManager() const;

    static CommonObjectBase* FindObjectByID(long id);
    static long GetDispatcher(const char* name);

    // 1 when the dispatcher existed, 0 when it was created for this request; either way this
    // object is now one of its receivers.
    long Request(const char* name);
    bool Unrequest(const char* name);
    bool RequestIdleEvents();
    bool UnrequestIdleEvents();

    // Sends return the ID of the object that took the event, or 0.
    long SendEvent(long receiver, unsigned int code, void* data, int size);
    long SendEvent(long receiver, unsigned int code, long value);
    long SendEvent(long receiver, unsigned int code, short a, short b);
    long SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, void* data, int size);
    long SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value);
    void PostEvent(long receiver, unsigned int code, void* data, int size);
    void PostEvent(long receiver, unsigned int code, long value);
    void PostEvent(long receiver, unsigned int code, short a, short b);
    void PostRoutedEvent(long receiver, unsigned short flags, unsigned int code, void* data, int size);
    void PostRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value);

    // Guards the additional data of every object. Taken after the manager's lock, never before.
    // Built on first use, so objects defined at namespace scope may store data when built.
    static OwnerLock& AdditionalDataLock();

protected:
    // Each value is one heap block: a 32-bit length, then that many bytes. Keys are found by
    // their C text, without building a string for the look-up.
    using AdditionalDataMap = std::map<RkString, long*, std::less<>>;

    long m_id;
    COHook* m_hook;                       // owned, with the rest of its chain
    ICommonObjectCollection* m_parent;    // the collection that contains this object
    CommonObjectEventManager* m_manager;  // set by derived classes that belong to a page
    AdditionalDataMap* m_additionalData;  // created by the first store
    long m_notifyID;                      // 0: notifications go to the parent

private:
    friend class CommonObjectEventManager;
    friend class CODispatcher;

    void FreeAdditionalData();
};
