// Keeps Setup.exe from loading a library planted beside it. It runs from installation media and
// download folders, and the system's user-interface code loads some libraries later by base
// name, which the standard search looks for in the executable's folder first.
#pragma once

// Where kernel32 exports SetDefaultDllDirectories, every later load by base name searches the
// system folder alone. Elsewhere the executable's folder stays first in the search, so the
// libraries the user-interface code will want are loaded from the system folder by full path
// now, and SetDllDirectoryA("") takes the current folder out of the search. Both functions are
// looked up at run time (the oldest systems lack them) and skipped where missing. Only this
// process is affected; the runtime it starts inherits none of it.
void HardenDllSearch();
