// The hub of the event system. Its process-wide statics hold every live object by ID, the
// dispatcher names, the two event queues, the built-in "Idle" and "Broadcast" dispatchers and
// the ID counter. An instance stands for one page of objects; the last instance to go releases
// everything that is still registered.
//
// Threads: any thread may post, and the registries and queues are locked for that. Everything
// else belongs to the one thread that dispatches (the application's main loop): delivery of
// sends and queued records, the lists of dispatchers, the creation and destruction of receivers
// and of managers, and the dispatch-disable counter. A receiver destroyed on another thread
// could go while a handler runs on it.
//
// Blocks of posted records: after a queued record has been delivered, the manager frees its
// block when the record's dataSize is still greater than 0 and the delivery answered false.
// A handler that answers true owns the block, and so does one that answers false after
// clearing dataSize in the record it was handed; the owner frees it with COEventDataFree. In a
// fan-out (a dispatcher, a broadcast to all objects) the block belongs to the first receiver
// that answers true: the receivers after it get the record with dataSize 0 and data null, and
// the manager leaves the block alone whatever the whole fan-out answers.
#pragma once

#include "AfxExport.h"
#include "COEvent.h"
#include "Platform.h"
#include "RkString.h"

#include <deque>
#include <functional>
#include <map>
#include <unordered_map>

class ActiveObject;
class CODispatcher;
class CommonObjectBase;
class OnButton;
class Page;

class CORVANE_API CommonObjectEventManager {
public:
    explicit CommonObjectEventManager(Page* page);
    ~CommonObjectEventManager();
    CommonObjectEventManager(const CommonObjectEventManager&) = delete;
    CommonObjectEventManager& operator=(const CommonObjectEventManager&) = delete;

    Page* GetPage() const;
    void SetNoRearrange(bool on);
    bool GetNoRearrange() const;

    // Registries.
    static long GetNewID();
    static CommonObjectBase* FindObjectByID(long id);
    static CommonObjectBase* FindObjectByCOName(const char* name);
    static long staticGetDispatcher(const char* name);
    static bool staticRegisterDispatcher(const char* name, long id);
    static bool staticUnregisterDispatcher(const char* name);
    static bool staticRequestDispatcher(const char* name, long id);
    static bool staticUnrequestDispatcher(const char* name, long id);
    static void FreeStatics();

    // Sending: delivered at once, on the caller's thread.
    static bool staticSendEvent(COEvent* event, long receiver);
    static long staticSendEvent(long sender, long receiver, unsigned int code, void* data, int size,
                                unsigned short flags);
    static long staticSendEvent(long sender, const char* dispatcher, unsigned int code, void* data,
                                int size, unsigned short flags);
    static long SendSimpleEvent(long receiver, unsigned int code, long value);
    static long SendSimpleEvent(long receiver, unsigned int code, short a, short b);
    static long SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value);

    // Posting: any thread may post; the dispatching thread delivers. A block of `size` bytes at
    // `data` is copied; see above for who frees the copy.
    static void staticPostEvent(long sender, long receiver, unsigned int code, void* data, int size,
                                unsigned short flags);
    static void staticDispatchEvents(unsigned long time);
    // True while `event` is a posted record whose block is being delivered on this thread: a
    // handler that answers true for it owns the block, and one that only copied the data must
    // free it (COEventDataFree).
    static bool staticIsPostedBlock(const COEvent* event);
    static void staticDispatchDelayedEvents(unsigned long time);
    static void staticDisableDispatchingEvents(bool disable);
    static bool staticIsEventDispatchingDisabled();

    // Reports from the hosts of visual objects; the cookie is the ID of the object concerned.
    static void staticPosChangeCallback(void* cookie, int x, int y);
    static void staticKillCallback(void* cookie, ActiveObject* object);
    static void staticKillCallback(void* cookie, OnButton* button);

protected:
    friend class CommonObjectBase;
    friend class CODispatcher;

    static void RegisterObjectID(long id, CommonObjectBase* object);
    static void UnregisterObjectID(long id);
    static void staticRequestIdleEvents(long id);
    static void staticUnrequestIdleEvents(long id);
    static void staticRequestBroadcasts(long id);
    static void staticUnrequestBroadcasts(long id);

    // Where the ID counter goes on from; lets a long-running process be reproduced in a test.
    static void SetNextID(long id);

    // A dispatcher that goes away must not stay behind as a built-in one.
    static void ForgetDispatcher(CODispatcher* dispatcher);

    // The deliveries of one record to several receivers. A queued record's block goes to the
    // first receiver that answers true (see above). Every receiver gets the record's data block
    // as the sender gave it; a receiver that rewrites the data field (an inter-process dispatcher
    // writes its shared block's index there) leaves that for the sender, once the fan-out ends.
    class FanOut {
    public:
        explicit FanOut(COEvent* event);
        ~FanOut();
        FanOut(const FanOut&) = delete;
        FanOut& operator=(const FanOut&) = delete;

        bool Deliver(CommonObjectBase* receiver);

    private:
        COEvent* m_event;
        void* m_data;    // what every receiver gets
        void* m_result;  // what the sender gets back
    };

    using ObjectMap = std::unordered_map<long, CommonObjectBase*>;
    using DispatcherMap = std::map<RkString, long, std::less<>>;  // found by their C text
    using EventQueue = std::deque<COEvent>;

    // Built together on first use: objects defined at namespace scope register during static
    // initialisation, in an order between files that nothing fixes.
    struct Registries {
        platform::RecursiveLock lock;
        ObjectMap objects;
        DispatcherMap dispatchers;
        EventQueue eventQueue;
        EventQueue delayedQueue;
    };
    static Registries& Statics();
    static platform::RecursiveLock& Lock() { return Statics().lock; }
    static ObjectMap& Objects() { return Statics().objects; }
    static DispatcherMap& Dispatchers() { return Statics().dispatchers; }
    static EventQueue& MainQueue() { return Statics().eventQueue; }
    static EventQueue& DelayedQueue() { return Statics().delayedQueue; }
    static CODispatcher* s_idleDispatcher;
    static CODispatcher* s_broadcastDispatcher;
    static int s_managerCount;
    static int s_disableCount;
    static long s_nextID;

private:
    static bool IsRegistered(const CommonObjectBase* object);
    static CommonObjectBase* TopmostRegisteredAncestor(CommonObjectBase* object);
    static void DestroyWithAncestors(CommonObjectBase* object);
    static CommonObjectBase* FindObjectOfManager(const CommonObjectEventManager* manager);
    static CODispatcher* FindDispatcher(const char* name);
    static bool BroadcastToAllObjects(COEvent* event, unsigned short flags);
    static void DrainQueue(EventQueue& queue);
    static void DeliverQueued(COEvent& event);
    static void GiveIdleTick(unsigned long time);
    static void DropQueue(EventQueue& queue);

    Page* m_page;
    bool m_noRearrange;
};
