// Shared pieces of the event-system tests: a fixture that gives every test a fresh event system
// and watches every posted data block, and a probe object that records what reaches it.
#pragma once

#include "COEventData.h"
#include "COHook.h"
#include "CODispatcher.h"
#include "CommonObject.h"
#include "CommonObjectEventManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

// Tracks each posted block from allocation to release, so a block freed twice, or never, or a
// pointer freed that was never handed out, shows up in the test that caused it.
class BlockLedger {
public:
    static BlockLedger& Instance();

    void Install();
    void Uninstall();
    std::size_t Outstanding();
    int BadReleases();
    bool IsLive(void* block);

private:
    static void* Allocate(unsigned long size);
    static void Release(void* block);

    std::mutex m_mutex;
    std::set<void*> m_live;
    int m_badReleases = 0;
    COEventDataAllocator m_previous{};
};

// Every test starts with no object registered and one manager, and ends with the last manager
// gone, which also frees whatever the test left behind.
class EventSystemTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CommonObjectEventManager> m_manager;
};

// What one delivery looked like when it arrived.
struct Delivery {
    long receiver;  // the probe's own ID
    COEvent event;
};

// A receiver that records each delivery and answers with m_answer, after running m_onEvent.
class Probe : public CommonObjectBase {
public:
    explicit Probe(std::vector<Delivery>* journal = nullptr, bool answer = false)
        : m_journal(journal), m_answer(answer)
    {
    }

    using CommonObjectBase::HandleEventWithHooks;
    using CommonObjectBase::Notify;
    using CommonObjectBase::OnKilled;

    void SetHook(COHook* head) { m_hook = head; }
    void SetParent(ICommonObjectCollection* parent) { m_parent = parent; }
    void SetManager(CommonObjectEventManager* manager) { m_manager = manager; }

    std::vector<COEvent> received;
    std::vector<unsigned long> idleTimes;
    std::function<void(COEvent*)> m_onEvent;
    std::vector<Delivery>* m_journal;
    bool m_answer;
    int exports = 0;

protected:
    bool HandleEvent(COEvent* event) override;
    bool OnIdle(unsigned long time) override;
    void ExportObject() override { ++exports; }
};

// A hook that counts its calls, answers as told, and may chain a successor.
class CountingHook : public COHook {
public:
    CountingHook(int* calls, bool answer, COHook* next = nullptr) : m_calls(calls), m_answer(answer)
    {
        m_next = next;
    }
    bool HandleEvent(CommonObjectBase*, COEvent*) override
    {
        ++*m_calls;
        return m_answer;
    }

private:
    int* m_calls;
    bool m_answer;
};

// Exposes the manager's protected statics to the tests.
class ManagerAccess : public CommonObjectEventManager {
public:
    using CommonObjectEventManager::SetNextID;
    using CommonObjectEventManager::s_broadcastDispatcher;
    using CommonObjectEventManager::s_idleDispatcher;
    using CommonObjectEventManager::staticRequestBroadcasts;
    using CommonObjectEventManager::staticRequestIdleEvents;
};

// Exposes a dispatcher's fan-out.
class OpenDispatcher : public CODispatcher {
public:
    using CODispatcher::CODispatcher;
    using CODispatcher::HandleEvent;
};

// A collection that owns its children, as page collections do.
class OwningCollection : public ICommonObjectCollection {
public:
    explicit OwningCollection(int* destroyed) : m_destroyed(destroyed) {}
    ~OwningCollection() override;

    void Adopt(CommonObjectBase* child);
    void SetManager(CommonObjectEventManager* manager) { m_manager = manager; }
    void SetParent(ICommonObjectCollection* parent) { m_parent = parent; }

private:
    std::vector<CommonObjectBase*> m_children;
    int* m_destroyed;
};

COEvent MakeTestEvent(long sender, long receiver, unsigned int code, long value = 0, unsigned short flags = 0);
