#include "CommonObjectEventManager.h"
#include "CommonObjectEventManagerInternals.h"

#include "CODispatcher.h"
#include "COEventData.h"
#include "CommonObject.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace eventmanager;

// Plain values, ready before any code runs.
CODispatcher* CommonObjectEventManager::s_idleDispatcher = nullptr;
CODispatcher* CommonObjectEventManager::s_broadcastDispatcher = nullptr;
int CommonObjectEventManager::s_managerCount = 0;
int CommonObjectEventManager::s_disableCount = 0;
long CommonObjectEventManager::s_nextID = CO_FIRST_ID;

// Built by the first use, which may come from the constructor of an object defined at
// namespace scope in another file, before this file's own static initialisation. Built during
// that constructor, the registries also outlive that object.
CommonObjectEventManager::Registries& CommonObjectEventManager::Statics()
{
    static Registries s_registries;
    return s_registries;
}

// ---- Instances -------------------------------------------------------------------------------

CommonObjectEventManager::CommonObjectEventManager(Page* page) : m_page(page), m_noRearrange(false)
{
    ++s_managerCount;
    if (s_idleDispatcher == nullptr)
        s_idleDispatcher = new CODispatcher("Idle");
    if (s_broadcastDispatcher == nullptr)
        s_broadcastDispatcher = new CODispatcher("Broadcast");
}

CommonObjectEventManager::~CommonObjectEventManager()
{
    // Objects of this page go with their topmost ancestor; each destruction may change the
    // registry, so the search starts afresh every time.
    while (CommonObjectBase* object = FindObjectOfManager(this))
        DestroyWithAncestors(object);
    if (--s_managerCount == 0)
        FreeStatics();
}

Page* CommonObjectEventManager::GetPage() const { return m_page; }
void CommonObjectEventManager::SetNoRearrange(bool on) { m_noRearrange = on; }
bool CommonObjectEventManager::GetNoRearrange() const { return m_noRearrange; }

CommonObjectBase* CommonObjectEventManager::FindObjectOfManager(const CommonObjectEventManager* manager)
{
    Guard guard(Lock());
    for (const auto& entry : Objects()) {
        if (entry.second->m_manager == manager)
            return entry.second;
    }
    return nullptr;
}

bool CommonObjectEventManager::IsRegistered(const CommonObjectBase* object)
{
    for (const auto& entry : Objects()) {
        if (entry.second == object)
            return true;
    }
    return false;
}

// A collection destroys what it contains, so destroying a child before its collection would
// destroy it twice. The parent links are followed only while they lead to live objects: a
// collection that left a child behind must not be reached through the child's stale link.
CommonObjectBase* CommonObjectEventManager::TopmostRegisteredAncestor(CommonObjectBase* object)
{
    Guard guard(Lock());
    CommonObjectBase* top = object;
    while (top->m_parent != nullptr) {
        CommonObjectBase* parent = top->m_parent;
        if (!IsRegistered(parent))
            break;
        top = parent;
    }
    return top;
}

void CommonObjectEventManager::DestroyWithAncestors(CommonObjectBase* object)
{
    CommonObjectBase* victim = TopmostRegisteredAncestor(object);
    victim->ExportObject();
    delete victim;
}

void CommonObjectEventManager::FreeStatics()
{
    {
        Guard guard(Lock());
        s_broadcastDispatcher = nullptr;
        s_idleDispatcher = nullptr;
    }
    for (;;) {
        CommonObjectBase* first = nullptr;
        {
            Guard guard(Lock());
            if (Objects().empty())
                break;
            first = Objects().begin()->second;
        }
        DestroyWithAncestors(first);
    }
    Guard guard(Lock());
    DropQueue(MainQueue());
    DropQueue(DelayedQueue());
    Dispatchers().clear();
    s_nextID = CO_FIRST_ID;
}

void CommonObjectEventManager::DropQueue(EventQueue& queue)
{
    for (const COEvent& event : queue)
        COEventDataFree(PostedBlock(event));
    EventQueue().swap(queue);
}

// ---- Registries ------------------------------------------------------------------------------

long CommonObjectEventManager::GetNewID()
{
    Guard guard(Lock());
    // Past the top of the range numbering starts again at the bottom, passing over the IDs of
    // objects that still live, so no ID ever names two objects.
    for (;;) {
        const long id = std::max(s_nextID, CO_FIRST_ID);
        s_nextID = id == LONG_MAX ? CO_FIRST_ID : id + 1;
        if (Objects().find(id) == Objects().end())
            return id;
    }
}

void CommonObjectEventManager::SetNextID(long id)
{
    Guard guard(Lock());
    s_nextID = id;
}

void CommonObjectEventManager::RegisterObjectID(long id, CommonObjectBase* object)
{
    Guard guard(Lock());
    Objects()[id] = object;
}

void CommonObjectEventManager::UnregisterObjectID(long id)
{
    Guard guard(Lock());
    Objects().erase(id);
}

CommonObjectBase* CommonObjectEventManager::FindObjectByID(long id)
{
    Guard guard(Lock());
    const auto found = Objects().find(id);
    return found != Objects().end() ? found->second : nullptr;
}

CommonObjectBase* CommonObjectEventManager::FindObjectByCOName(const char* name)
{
    if (name == nullptr)
        return nullptr;
    Guard guard(Lock());
    // A rename on another thread frees the text that GetCOName hands out, so the text is
    // compared before the additional-data lock goes.
    platform::ScopedLock<OwnerLock> nameGuard(CommonObjectBase::AdditionalDataLock());
    for (const auto& entry : Objects()) {
        const char* objectName = entry.second->GetCOName();
        if (objectName != nullptr && std::strcmp(objectName, name) == 0)
            return entry.second;
    }
    return nullptr;
}

long CommonObjectEventManager::staticGetDispatcher(const char* name)
{
    if (name == nullptr)
        return 0;
    Guard guard(Lock());
    const auto found = Dispatchers().find(name);
    return found != Dispatchers().end() ? found->second : 0;
}

bool CommonObjectEventManager::staticRegisterDispatcher(const char* name, long id)
{
    if (name == nullptr)
        return false;
    Guard guard(Lock());
    if (staticGetDispatcher(name) != 0)
        return false;
    Dispatchers()[name] = id;
    return true;
}

bool CommonObjectEventManager::staticUnregisterDispatcher(const char* name)
{
    if (name == nullptr)
        return false;
    Guard guard(Lock());
    return Dispatchers().erase(name) != 0;
}

CODispatcher* CommonObjectEventManager::FindDispatcher(const char* name)
{
    return dynamic_cast<CODispatcher*>(FindObjectByID(staticGetDispatcher(name)));
}

bool CommonObjectEventManager::staticRequestDispatcher(const char* name, long id)
{
    // A channel without a name could never be found again.
    if (name == nullptr || name[0] == '\0')
        return false;
    const long registered = staticGetDispatcher(name);
    CommonObjectBase* object = FindObjectByID(registered);
    if (object != nullptr) {
        // A name registered for an object that is not a dispatcher stays as it is.
        auto* dispatcher = dynamic_cast<CODispatcher*>(object);
        if (dispatcher != nullptr)
            dispatcher->AddReceiver(id);
        return dispatcher != nullptr;
    }
    // A name left behind by an object that is gone must not keep the new dispatcher nameless.
    if (registered != 0)
        staticUnregisterDispatcher(name);
    (new CODispatcher(name))->AddReceiver(id);
    return false;
}

bool CommonObjectEventManager::staticUnrequestDispatcher(const char* name, long id)
{
    CODispatcher* dispatcher = FindDispatcher(name);
    return dispatcher != nullptr && dispatcher->RemoveReceiver(id);
}

void CommonObjectEventManager::staticRequestIdleEvents(long id)
{
    if (s_idleDispatcher != nullptr)
        s_idleDispatcher->AddReceiver(id);
}

void CommonObjectEventManager::staticUnrequestIdleEvents(long id)
{
    if (s_idleDispatcher != nullptr)
        s_idleDispatcher->RemoveReceiver(id);
}

void CommonObjectEventManager::staticRequestBroadcasts(long id)
{
    if (s_broadcastDispatcher != nullptr)
        s_broadcastDispatcher->AddReceiver(id);
}

void CommonObjectEventManager::staticUnrequestBroadcasts(long id)
{
    if (s_broadcastDispatcher != nullptr)
        s_broadcastDispatcher->RemoveReceiver(id);
}

void CommonObjectEventManager::ForgetDispatcher(CODispatcher* dispatcher)
{
    Guard guard(Lock());
    if (s_idleDispatcher == dispatcher)
        s_idleDispatcher = nullptr;
    if (s_broadcastDispatcher == dispatcher)
        s_broadcastDispatcher = nullptr;
}
