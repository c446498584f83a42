#include "CODispatcher.h"

#include "CommonObjectEventManager.h"

#include <algorithm>
#include <cstring>

namespace {

char* CopyName(const char* name)
{
    const std::size_t length = name != nullptr ? std::strlen(name) : 0;
    char* copy = new char[length + 1];
    std::memcpy(copy, name != nullptr ? name : "", length);
    copy[length] = '\0';
    return copy;
}

}  // namespace

CODispatcher::CODispatcher(const char* name) : m_name(CopyName(name))
{
    if (m_name[0] != '\0')
        CommonObjectEventManager::staticRegisterDispatcher(m_name, m_id);
}

CODispatcher::~CODispatcher()
{
    // A dispatcher whose name was refused because another one holds it must not take the
    // other's registration with it.
    if (m_name[0] != '\0' && CommonObjectEventManager::staticGetDispatcher(m_name) == GetID())
        CommonObjectEventManager::staticUnregisterDispatcher(m_name);
    CommonObjectEventManager::ForgetDispatcher(this);
    delete[] m_name;
    m_name = nullptr;
}

bool CODispatcher::IsObjectType(int type) { return type == COT_DISPATCHER; }

CommonObjectBase* CODispatcher::GetNext(int* position)
{
    std::size_t index = static_cast<std::size_t>(std::max(*position, 0));
    while (index < m_receivers.size()) {
        if (CommonObjectBase* receiver = FindObjectByID(m_receivers[index])) {
            *position = static_cast<int>(index + 1);
            return receiver;
        }
        // Drop the dead entry by moving the last one into its place, then look at it again.
        m_receivers[index] = m_receivers.back();
        m_receivers.pop_back();
    }
    *position = 0;
    return nullptr;
}

long CODispatcher::GetNthID(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_receivers.size())
        return 0;
    return m_receivers[static_cast<std::size_t>(index)];
}

int CODispatcher::GetCount() { return static_cast<int>(m_receivers.size()); }

long CODispatcher::AddReceiver(long id)
{
    if (m_receivers.size() == m_receivers.capacity())
        m_receivers.reserve(m_receivers.capacity() + kGrowth);
    m_receivers.push_back(id);
    return id;
}

bool CODispatcher::RemoveReceiver(long id)
{
    bool matched = false;
    for (long& entry : m_receivers) {
        if (entry == id) {
            entry = 0;
            matched = true;
        }
    }
    return matched;
}

void CODispatcher::RemoveAll() { std::vector<long>().swap(m_receivers); }

bool CODispatcher::HandleEvent(COEvent* event)
{
    const unsigned short flags = event->flags;
    const bool allReceivers = (flags & COEF_ALL_RECEIVERS) != 0;
    const bool sameManager = (flags & COEF_SAME_MANAGER) != 0;

    CommonObjectEventManager* senderManager = nullptr;
    if (sameManager) {
        CommonObjectBase* sender = FindObjectByID(event->senderID);
        if (sender == nullptr || sender->m_manager == nullptr)
            return false;
        senderManager = sender->m_manager;
    }
    if (m_receivers.empty())
        return false;

    // From here on only the copy is used: a handler may change the list or destroy this
    // dispatcher while the walk goes on.
    const std::vector<long> receivers(m_receivers);
    bool result = false;
    CommonObjectEventManager::FanOut fanOut(event);
    for (const long id : receivers) {
        CommonObjectBase* receiver = FindObjectByID(id);
        if (receiver == nullptr)
            continue;
        event->receiverID = id;
        if (sameManager && receiver->m_manager != senderManager)
            continue;
        result = fanOut.Deliver(receiver);
        if (result && !allReceivers)
            break;
    }
    return result;
}
