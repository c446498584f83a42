// The handler that std::terminate calls unless a program sets its own, made to abort at once.
//
// The C++ runtime's default handler (declared in <exception>) prints the type and message of
// an uncaught exception to the standard error stream and then aborts. Setup.exe is a GUI
// program without that stream, so the message goes nowhere, but the runtime's handler drags in
// its C++ name demangler: about 46 KB of the executable. Defining the handler here keeps the
// linker from taking the runtime's, and the demangler with it. What an uncaught exception does
// is unchanged: the process aborts.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx
