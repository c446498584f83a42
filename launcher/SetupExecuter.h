// The bootstrapper's executer service: a receiver of the inter-process channel "DispCvGSetup"
// that starts programs for the runtime, answers its query and lets it hold the bootstrapper
// alive. It lives from start-up to teardown as a local object of the entry.
#pragma once

#include "CommonObjectBase.h"

class SetupExecuter : public CommonObjectBase {
public:
    // Opens the channel unless a dispatcher of that name exists, and joins it. The channel's
    // dispatcher is left to the event manager, which destroys it with its statics.
    SetupExecuter();
    // Leaves the channel; the dispatcher stays.
    ~SetupExecuter() override;

protected:
    // The protocol's requests; every other code goes to the base class.
    bool HandleEvent(COEvent* event) override;
};
