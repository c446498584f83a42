#include "COHook.h"

#include <cstring>

COHook::COHook() = default;

COHook::~COHook()
{
    delete m_next;
    m_next = nullptr;
}

bool COHook::Init(ICommonObject*) { return true; }

bool COHook::HandleEvent(CommonObjectBase*, COEvent*) { return false; }

bool COHook::IsObjectType(const char* type) { return type != nullptr && std::strcmp(type, "COHook") == 0; }

COHook* COHook::GetNext() const { return m_next; }
