// Setup.exe exports the framework's and the foundation's classes by name, so that modules built
// on the same framework can link against its import library instead of carrying the sources.
// Their own code is compiled with the export attribute; a module that uses them defines
// CORVANE_IMPORTS and sees the import attribute. Builds other than Windows need neither.
#pragma once

#if defined(_WIN32) && defined(CORVANE_IMPORTS)
#  define CORVANE_API __declspec(dllimport)
#elif defined(_WIN32)
#  define CORVANE_API __declspec(dllexport)
#else
#  define CORVANE_API
#endif
