// Event-capable objects defined at namespace scope, as a module that uses the exported classes
// may define them. They are built during static initialisation, before or after the event
// system's own statics: the language leaves the order between files open.
#pragma once

#include "CODispatcher.h"

class NamedAtStartup : public CommonObjectBase {
public:
    explicit NamedAtStartup(const char* name) { SetCOName(name); }
};

extern NamedAtStartup g_startupObject;
extern CODispatcher g_startupChannel;
