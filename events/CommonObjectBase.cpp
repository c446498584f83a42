#include "CommonObjectBase.h"

#include "COHook.h"
#include "CommonObject.h"
#include "CommonObjectEventManager.h"
#include "SystemFormat.h"

#include <cstdlib>
#include <cstring>

namespace {

// The object's name is additional data under this key, stored with its NUL.
const char kNameKey[] = "sCONm";

long* NewDataBlock(const void* data, long length)
{
    auto* block = static_cast<long*>(std::malloc(sizeof(long) + static_cast<std::size_t>(length)));
    *block = length;
    if (length > 0)
        std::memcpy(block + 1, data, static_cast<std::size_t>(length));
    return block;
}

}  // namespace

OwnerLock& CommonObjectBase::AdditionalDataLock()
{
    static OwnerLock s_additionalDataLock;
    return s_additionalDataLock;
}

CommonObjectBase::CommonObjectBase()
    : m_id(CommonObjectEventManager::GetNewID()),
      m_hook(nullptr),
      m_parent(nullptr),
      m_manager(nullptr),
      m_additionalData(nullptr),
      m_notifyID(0)
{
    CommonObjectEventManager::RegisterObjectID(m_id, this);
}

CommonObjectBase::~CommonObjectBase()
{
    CommonObjectEventManager::UnregisterObjectID(m_id);
    FreeAdditionalData();
    delete m_hook;
    m_hook = nullptr;
    m_id = 0;
}

void CommonObjectBase::FreeAdditionalData()
{
    if (m_additionalData == nullptr)
        return;
    for (auto& entry : *m_additionalData)
        std::free(entry.second);
    delete m_additionalData;
    m_additionalData = nullptr;
}

void CommonObjectBase::ExportObject() {}

CommonObject* CommonObjectBase::CastIfCommonObject() { return nullptr; }

void CommonObjectBase::SetCOName(const char* name)
{
    if (name == nullptr)
        ClearAdditionalData(kNameKey);
    else
        SetAdditionalData(kNameKey, name, static_cast<long>(std::strlen(name) + 1));
}

const char* CommonObjectBase::GetCOName() { return static_cast<const char*>(GetAdditionalData(kNameKey, nullptr)); }

void* CommonObjectBase::GetAdditionalData(const char* key, long* length)
{
    platform::ScopedLock<OwnerLock> guard(AdditionalDataLock());
    long* block = nullptr;
    if (key != nullptr && m_additionalData != nullptr) {
        const auto found = m_additionalData->find(key);
        if (found != m_additionalData->end())
            block = found->second;
    }
    if (length != nullptr)
        *length = block != nullptr ? *block : 0;
    return block != nullptr ? block + 1 : nullptr;
}

CommonObjectBase* CommonObjectBase::SetAdditionalData(const char* key, const void* data, long length)
{
    // Nothing sensible can be stored from a missing key, a negative length or missing bytes.
    if (key == nullptr || length < 0 || (data == nullptr && length > 0))
        return this;

    platform::ScopedLock<OwnerLock> guard(AdditionalDataLock());
    if (m_additionalData == nullptr)
        m_additionalData = new AdditionalDataMap;
    long currentLength = 0;
    void* current = GetAdditionalData(key, &currentLength);
    if (current != nullptr && length == currentLength) {
        // Same size: overwrite in place, so pointers handed out earlier stay valid.
        std::memmove(current, data, static_cast<std::size_t>(length));
    } else if (current != nullptr || length != 0) {
        // The new block is filled before the old one goes: `data` may point into the old one.
        long* replacement = NewDataBlock(data, length);
        long*& slot = (*m_additionalData)[key];
        std::free(slot);
        slot = replacement;
    }
    return this;
}

CommonObjectBase* CommonObjectBase::SetAdditionalData(const char* key, const char* text)
{
    if (text != nullptr)
        SetAdditionalData(key, text, static_cast<long>(std::strlen(text) + 1));
    return this;
}

CommonObjectBase* CommonObjectBase::SetAdditionalData(const char* key, int value)
{
    char text[16];
    const int length = platform::FormatText(text, sizeof text, "%d", value);
    return SetAdditionalData(key, text, static_cast<long>(length + 1));
}

bool CommonObjectBase::ClearAdditionalData(const char* key)
{
    platform::ScopedLock<OwnerLock> guard(AdditionalDataLock());
    if (m_additionalData == nullptr || GetAdditionalData(key, nullptr) == nullptr)
        return false;
    // A derived getter may answer a key that has no stored block: then there is nothing to free.
    const auto found = m_additionalData->find(key);
    if (found != m_additionalData->end()) {
        std::free(found->second);
        m_additionalData->erase(found);
    }
    return true;
}

long CommonObjectBase::SetNotifyID(long id)
{
    const long previous = m_notifyID;
    m_notifyID = id;
    return previous;
}

long CommonObjectBase::GetNotifyID() { return m_notifyID; }

long CommonObjectBase::GetID() const { return m_id; }
COHook* CommonObjectBase::GetHook() const { return m_hook; }
ICommonObjectCollection* CommonObjectBase::GetParent() const { return m_parent; }
CommonObjectEventManager* CommonObjectBase::GetManager() const { return m_manager; }

bool CommonObjectBase::IsObjectType(int type) { return type == COT_BASE; }

bool CommonObjectBase::HandleEvent(COEvent* event)
{
    if (event->code != COE_IDLE)
        return false;
    OnIdle(static_cast<unsigned long>(CODataToValue(event->data)));
    return true;
}

bool CommonObjectBase::HandleEventWithHooks(COEvent* event)
{
    // A hook's handler may destroy this object and with it the whole chain; the walk then ends
    // without touching either again. Only the ID, kept aside, is still safe to use.
    const long id = m_id;
    for (COHook* hook = m_hook; hook != nullptr; hook = hook->GetNext()) {
        if (hook->HandleEvent(this, event))
            return true;
        if (CommonObjectEventManager::FindObjectByID(id) != this)
            return false;
    }
    return HandleEvent(event);
}

bool CommonObjectBase::OnIdle(unsigned long) { return false; }

bool CommonObjectBase::OnKilled()
{
    ExportObject();
    if (m_manager != nullptr && m_manager->GetNoRearrange())
        return true;
    return Notify(COE_KILLED, -1L);
}

bool CommonObjectBase::Notify(unsigned int code, short a, short b) { return Notify(code, COPackShorts(a, b)); }

bool CommonObjectBase::Notify(unsigned int code, void* pointer) { return Notify(code, CODataToValue(pointer)); }

bool CommonObjectBase::Notify(unsigned int code, long value)
{
    COEvent event{};
    event.senderID = m_id;
    event.code = code;
    event.data = COValueToData(value);
    return Notify(&event);
}

bool CommonObjectBase::Notify(COEvent* event)
{
    const long notifyID = GetNotifyID();
    if (notifyID != 0)
        return CommonObjectEventManager::staticSendEvent(event, notifyID);
    if (m_parent == nullptr)
        return false;
    CommonObjectBase* parent = m_parent;
    event->receiverID = parent->m_id;
    return parent->HandleEventWithHooks(event);
}

CommonObjectBase* CommonObjectBase::FindObjectByID(long id) { return CommonObjectEventManager::FindObjectByID(id); }

long CommonObjectBase::GetDispatcher(const char* name) { return CommonObjectEventManager::staticGetDispatcher(name); }

long CommonObjectBase::Request(const char* name)
{
    return CommonObjectEventManager::staticRequestDispatcher(name, m_id) ? 1 : 0;
}

bool CommonObjectBase::Unrequest(const char* name)
{
    return CommonObjectEventManager::staticUnrequestDispatcher(name, m_id);
}

bool CommonObjectBase::RequestIdleEvents()
{
    CommonObjectEventManager::staticRequestIdleEvents(m_id);
    return true;
}

bool CommonObjectBase::UnrequestIdleEvents()
{
    CommonObjectEventManager::staticUnrequestIdleEvents(m_id);
    return true;
}

long CommonObjectBase::SendEvent(long receiver, unsigned int code, void* data, int size)
{
    return CommonObjectEventManager::staticSendEvent(m_id, receiver, code, data, size, 0);
}

long CommonObjectBase::SendEvent(long receiver, unsigned int code, long value)
{
    return CommonObjectEventManager::staticSendEvent(m_id, receiver, code, COValueToData(value), 0, 0);
}

long CommonObjectBase::SendEvent(long receiver, unsigned int code, short a, short b)
{
    return SendEvent(receiver, code, COPackShorts(a, b));
}

long CommonObjectBase::SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, void* data, int size)
{
    return CommonObjectEventManager::staticSendEvent(m_id, receiver, code, data, size, flags);
}

long CommonObjectBase::SendRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value)
{
    return CommonObjectEventManager::staticSendEvent(m_id, receiver, code, COValueToData(value), 0, flags);
}

void CommonObjectBase::PostEvent(long receiver, unsigned int code, void* data, int size)
{
    CommonObjectEventManager::staticPostEvent(m_id, receiver, code, data, size, 0);
}

void CommonObjectBase::PostEvent(long receiver, unsigned int code, long value)
{
    CommonObjectEventManager::staticPostEvent(m_id, receiver, code, COValueToData(value), 0, 0);
}

void CommonObjectBase::PostEvent(long receiver, unsigned int code, short a, short b)
{
    PostEvent(receiver, code, COPackShorts(a, b));
}

void CommonObjectBase::PostRoutedEvent(long receiver, unsigned short flags, unsigned int code, void* data, int size)
{
    CommonObjectEventManager::staticPostEvent(m_id, receiver, code, data, size, flags);
}

void CommonObjectBase::PostRoutedEvent(long receiver, unsigned short flags, unsigned int code, long value)
{
    CommonObjectEventManager::staticPostEvent(m_id, receiver, code, COValueToData(value), 0, flags);
}
