// An object that stands for a list of receivers: a record delivered to it is handed on to each
// object on the list. A named dispatcher is registered under its name, so objects can subscribe
// to the channel by name and senders can address it by name or by ID.
//
// A dispatcher has no lock: its list, its fan-out and the receivers on it belong to the thread
// that dispatches events. Other threads reach its receivers by posting.
#pragma once

#include "AfxExport.h"
#include "CommonObjectBase.h"

#include <vector>

class CORVANE_API CODispatcher : public CommonObjectBase {
public:
    // A null or empty name leaves the dispatcher unregistered, reachable by its ID only.
    explicit CODispatcher(const char* name = nullptr);
    ~CODispatcher() override;

    bool IsObjectType(int type) override;

    // Iteration over the live receivers, started with 0 in *position. Entries that were removed
    // or whose object is gone leave the list here, so the order of the rest may change.
    virtual CommonObjectBase* GetNext(int* position);
    // The entry at `index`: 0 for a removed entry, or for an index outside the list.
    virtual long GetNthID(int index);
    // Entries, removed and dead ones included.
    virtual int GetCount();
    virtual long AddReceiver(long id);
    // Clears every entry of `id` in place; true when at least one matched.
    virtual bool RemoveReceiver(long id);
    virtual void RemoveAll();

protected:
    // The fan-out. Works on a copy of the list, so handlers may add, remove or destroy
    // receivers (or this dispatcher) while it runs. Answers false when nobody was reached,
    // else the answer of the last receiver reached: with COEF_ALL_RECEIVERS that is the last
    // one on the list, even after an earlier one answered true. A posted block that travels
    // with a queued record belongs to the first receiver that answers true; the receivers after
    // it get the record with dataSize 0 and data null, and the event manager leaves the block
    // alone whatever this answer is.
    bool HandleEvent(COEvent* event) override;

private:
    static constexpr std::size_t kGrowth = 25;

    char* m_name;                  // owned; "" when the dispatcher has no name
    std::vector<long> m_receivers;  // IDs in insertion order; 0 marks a removed entry
};
