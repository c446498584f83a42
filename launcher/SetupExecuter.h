// The bootstrapper's executer service: a receiver of the inter-process channel "DispCvGSetup"
// that starts programs for the runtime, answers its query and lets it hold the bootstrapper
// alive. It lives from start-up to teardown as a local object of the entry.
#pragma once

#include "CommonObjectBase.h"

class SetupExecuter : public CommonObjectBase {
public:
    // Founds the channel's group and receives its requests. A group that this process cannot
    // found, above all one whose kernel objects exist already, is left alone: the executer
    // serves nobody then (ServesChannel). A served channel's dispatcher is left to the event
    // manager, which destroys it with its statics.
    SetupExecuter();
    // Leaves the channel; the dispatcher stays.
    ~SetupExecuter() override;

    // True when this process founded the channel's group and takes its requests.
    bool ServesChannel() const { return m_servesChannel; }

protected:
    // The protocol's requests; every other code goes to the base class.
    bool HandleEvent(COEvent* event) override;

private:
    bool m_servesChannel = false;
};
