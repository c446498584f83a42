// How the event manager delivers: sending at once, posting to the queues and draining them,
// the idle tick, fan-outs and the reports of visual objects' hosts.
#include "CommonObjectEventManager.h"
#include "CommonObjectEventManagerInternals.h"

#include "CODispatcher.h"
#include "COEventData.h"
#include "Clock.h"
#include "CommonObject.h"

#include <cstring>
#include <utility>
#include <vector>

using namespace eventmanager;

namespace {

// The queued record that this thread's drain is delivering now, or null: the one record whose
// block a fan-out hands to its first taker.
thread_local const COEvent* t_queuedRecord = nullptr;

}  // namespace

// ---- Sending ---------------------------------------------------------------------------------

bool CommonObjectEventManager::staticSendEvent(COEvent* event, long receiver)
{
    if (receiver != 0)
        event->receiverID = receiver;
    else
        receiver = event->receiverID;

    const unsigned short flags = event->flags;
    if ((flags & COEF_BROADCAST) != 0) {
        event->flags = static_cast<unsigned short>(flags & ~COEF_BROADCAST);
        if ((flags & COEF_ALL_OBJECTS) != 0)
            return BroadcastToAllObjects(event, flags);
        CommonObjectBase* broadcast = s_broadcastDispatcher;
        return broadcast != nullptr && broadcast->HandleEventWithHooks(event);
    }
    CommonObjectBase* object = FindObjectByID(receiver);
    return object != nullptr && object->HandleEventWithHooks(event);
}

// The walk goes over the IDs registered when it starts and looks each one up again just before
// its turn: objects destroyed by a handler are never visited, objects created during the walk
// are not reached by it.
bool CommonObjectEventManager::BroadcastToAllObjects(COEvent* event, unsigned short flags)
{
    const bool sameManager = (flags & COEF_SAME_MANAGER) != 0;
    const bool allReceivers = (flags & COEF_ALL_RECEIVERS) != 0;

    std::vector<long> ids;
    CommonObjectEventManager* senderManager = nullptr;
    {
        Guard guard(Lock());
        CommonObjectBase* sender = FindObjectByID(event->senderID);
        senderManager = sender != nullptr ? sender->m_manager : nullptr;
        ids.reserve(Objects().size());
        for (const auto& entry : Objects())
            ids.push_back(entry.first);
    }

    bool result = false;
    FanOut fanOut(event);
    for (const long id : ids) {
        CommonObjectBase* object = FindObjectByID(id);
        if (object == nullptr || (sameManager && object->m_manager != senderManager))
            continue;
        event->receiverID = id;
        if (fanOut.Deliver(object))
            result = true;
        if (result && !allReceivers)
            break;
    }
    return result;
}

long CommonObjectEventManager::staticSendEvent(long sender, long receiver, unsigned int code, void* data,
                                               int size, unsigned short flags)
{
    COEvent event = COMakeEvent(sender, receiver, code, data, size, flags);
    return staticSendEvent(&event, 0) ? event.receiverID : 0;
}

long CommonObjectEventManager::staticSendEvent(long sender, const char* dispatcher, unsigned int code,
                                               void* data, int size, unsigned short flags)
{
    return staticSendEvent(sender, staticGetDispatcher(dispatcher), code, data, size, flags);
}

long CommonObjectEventManager::SendSimpleEvent(long receiver, unsigned int code, long value)
{
    return staticSendEvent(0, receiver, code, COValueToData(value), 0, 0);
}

long CommonObjectEventManager::SendSimpleEvent(long receiver, unsigned int code, short a, short b)
{
    return SendSimpleEvent(receiver, code, COPackShorts(a, b));
}

long CommonObjectEventManager::SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value)
{
    return staticSendEvent(0, receiver, code, COValueToData(value), 0, flags);
}

// ---- Posting and dispatching -----------------------------------------------------------------

void CommonObjectEventManager::staticPostEvent(long sender, long receiver, unsigned int code, void* data,
                                               int size, unsigned short flags)
{
    if (size > 0 && data != nullptr) {
        // A failed allocation queues a null block, which receivers already have to expect.
        void* copy = COEventDataAlloc(static_cast<unsigned long>(size));
        if (copy != nullptr)
            std::memcpy(copy, data, static_cast<std::size_t>(size));
        data = copy;
    }
    const COEvent event = COMakeEvent(sender, receiver, code, data, size, flags);
    Guard guard(Lock());
    ((flags & COEF_DELAYED) != 0 ? DelayedQueue() : MainQueue()).push_back(event);
}

// Records appended while the drain runs, by handlers or other threads, are delivered by the
// same drain. The lock is never held while a record is delivered.
void CommonObjectEventManager::DrainQueue(EventQueue& queue)
{
    for (;;) {
        COEvent event;
        {
            Guard guard(Lock());
            if (queue.empty())
                return;
            event = queue.front();
            queue.pop_front();
        }
        DeliverQueued(event);
    }
}

// The record's dataSize after the delivery says whether the block is still the manager's: a
// handler that keeps it while answering false clears dataSize, and so does a fan-out once a
// receiver has taken it. The block freed is the one the post made, whatever a handler wrote
// into the data field.
void CommonObjectEventManager::DeliverQueued(COEvent& event)
{
    void* block = PostedBlock(event);
    bool taken = false;
    {
        // A handler may drain the queues itself, or throw: the outer record comes back either way.
        struct QueuedRecord {
            const COEvent* outer = std::exchange(t_queuedRecord, nullptr);
            ~QueuedRecord() { t_queuedRecord = outer; }
        } queued;
        t_queuedRecord = &event;
        taken = staticSendEvent(&event, 0);
    }
    if (!taken && event.dataSize > 0)
        COEventDataFree(block);
}

bool CommonObjectEventManager::staticIsPostedBlock(const COEvent* event)
{
    return event != nullptr && event == t_queuedRecord && event->dataSize > 0;
}

CommonObjectEventManager::FanOut::FanOut(COEvent* event) : m_event(event), m_data(event->data), m_result(event->data) {}

CommonObjectEventManager::FanOut::~FanOut()
{
    if (m_event->data == m_data)
        m_event->data = m_result;
}

bool CommonObjectEventManager::FanOut::Deliver(CommonObjectBase* receiver)
{
    const bool taken = receiver->HandleEventWithHooks(m_event);
    if (taken && staticIsPostedBlock(m_event)) {
        // The taker may free the block at once: later receivers must not see it, and the drain
        // must not free it again.
        m_event->dataSize = 0;
        m_event->data = m_data = m_result = nullptr;
    } else if (m_event->data != m_data && m_event->dataSize > 0) {
        // What a receiver writes into the record's data field (an inter-process dispatcher
        // writes its shared block's index there) is the sender's to read once the fan-out is
        // over; the receivers after it get the data as sent.
        m_result = m_event->data;
        m_event->data = m_data;
    }
    return taken;
}

void CommonObjectEventManager::GiveIdleTick(unsigned long time)
{
    CODispatcher* dispatcher = s_idleDispatcher;
    if (dispatcher == nullptr || dispatcher->GetCount() <= 0)
        return;
    CommonObjectBase* idle = dispatcher;
    COEvent event{};
    event.receiverID = idle->GetID();
    event.flags = COEF_ALL_RECEIVERS;
    event.code = COE_IDLE;
    event.data = COValueToData(static_cast<long>(time != 0 ? time : animTimeGetTime()));
    // Straight to the fan-out: the idle dispatcher's own hooks are not consulted.
    idle->HandleEvent(&event);
}

void CommonObjectEventManager::staticDispatchEvents(unsigned long time)
{
    if (s_disableCount != 0)
        return;
    DrainQueue(MainQueue());
    GiveIdleTick(time);
    DrainQueue(MainQueue());
}

void CommonObjectEventManager::staticDispatchDelayedEvents(unsigned long)
{
    if (s_disableCount != 0)
        return;
    DrainQueue(DelayedQueue());
}

void CommonObjectEventManager::staticDisableDispatchingEvents(bool disable) { s_disableCount += disable ? 1 : -1; }

bool CommonObjectEventManager::staticIsEventDispatchingDisabled() { return s_disableCount != 0; }

// ---- Host callbacks --------------------------------------------------------------------------

void CommonObjectEventManager::staticPosChangeCallback(void* cookie, int x, int y)
{
    const long id = CODataToValue(cookie);
    staticPostEvent(id, id, COE_POS_CHANGED,
                    COValueToData(COPackShorts(static_cast<short>(x), static_cast<short>(y))), 0, 0);
}

void CommonObjectEventManager::staticKillCallback(void* cookie, ActiveObject*)
{
    if (CommonObjectBase* object = FindObjectByID(CODataToValue(cookie)))
        object->OnKilled();
}

void CommonObjectEventManager::staticKillCallback(void* cookie, OnButton*)
{
    staticKillCallback(cookie, static_cast<ActiveObject*>(nullptr));
}
