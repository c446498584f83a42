#include "StartupObjects.h"

NamedAtStartup g_startupObject("startup object");
CODispatcher g_startupChannel("startup channel");
