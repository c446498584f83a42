// The stand-in runtime's part in the executer channel: a receiver of the group it was told on
// its command line that plays a RuntimeScript against the bootstrapper, logging every step and
// every event it receives. It runs its own event turns, every 10 ms while it waits.
#pragma once

#include "CommonObjectBase.h"
#include "RuntimeLog.h"
#include "RuntimeScript.h"

#include <functional>
#include <set>
#include <string>

class ScriptedRuntime : public CommonObjectBase {
public:
    // Joins the group `channel` (opening it if this process has no dispatcher of that name).
    ScriptedRuntime(const std::string& channel, const RuntimeLog& log);
    ~ScriptedRuntime() override;

    // The exit code: the script's own, or 0 when it runs to its end.
    int Play(const RuntimeScript& script);

protected:
    bool HandleEvent(COEvent* event) override;

private:
    void Send(unsigned int code, const void* data, std::size_t size);
    void Query();
    void Await(unsigned long code);
    void TakeEventsFor(unsigned long milliseconds);
    bool TakeEventsUntil(const std::function<bool()>& done, unsigned long timeoutMs);

    std::string m_channel;
    const RuntimeLog& m_log;
    unsigned long m_replies = 0;  // replies of the executer seen so far
    std::set<unsigned long> m_codesSeen;
};
