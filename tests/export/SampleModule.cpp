// A module built on the classes that Setup.exe exports, as a product's extension would be: it
// derives an event-capable object and a hook, joins an inter-process group, sends through the
// event manager and uses RkString, and links against Setup.exe's import library alone, without the framework's code.
#include "COHook.h"
#include "COProcDispatcher.h"
#include "CommonObjectBase.h"
#include "CommonObjectEventManager.h"
#include "RkString.h"

namespace {

constexpr unsigned int kGreeting = 0x7001;

class CountingHook : public COHook {
public:
    bool HandleEvent(CommonObjectBase*, COEvent*) override
    {
        ++m_seen;
        return false;
    }
    int m_seen = 0;
};

class GreetedObject : public CommonObjectBase {
public:
    GreetedObject() { m_hook = m_counter = new CountingHook; }

    RkString m_greetings;
    CountingHook* m_counter;

protected:
    bool HandleEvent(COEvent* event) override
    {
        if (event->code != kGreeting)
            return CommonObjectBase::HandleEvent(event);
        m_greetings += static_cast<const char*>(event->data);
        return true;
    }
};

}  // namespace

// Sends two greetings to a fresh object and reports what it and its hook saw, as
// "<greetings> <events the hook saw>".
extern "C" __declspec(dllexport) void SampleGreet(char* report, int size)
{
    CommonObjectEventManager manager(nullptr);
    auto* object = new GreetedObject;
    new COProcDispatcher("SampleModuleGroup");  // the manager destroys it with its statics
    object->Request("SampleModuleGroup");
    char hello[] = "hello,";
    char world[] = "world";
    CommonObjectEventManager::staticSendEvent(0, object->GetID(), kGreeting, hello, sizeof hello, 0);
    CommonObjectEventManager::staticSendEvent(0, object->GetID(), kGreeting, world, sizeof world, 0);
    RkString text;
    text.Format("%s %d", static_cast<const char*>(object->m_greetings), object->m_counter->m_seen);
    lstrcpynA(report, text, size);
    delete object;
}
