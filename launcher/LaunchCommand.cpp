#include "LaunchCommand.h"

#include <cstdio>
#include <cstring>

void CopyCommandLine(char (&target)[kCommandLineBuffer], const char* source)
{
    std::strncpy(target, source ? source : "", kCommandLineBuffer);
    target[kCommandLineBuffer - 1] = '\0';
}

void FormatLaunchCommand(char (&buffer)[kLaunchCommandBuffer], bool withExecuter, const char* commandLine)
{
    std::snprintf(buffer, kLaunchCommandBuffer,
                  "Lumeplay.exe RiRarud SetupProgram=ZuViruz Server=None Wnd=Maximized%s %s",
                  withExecuter ? " Executer=DispCvGSetup" : "", commandLine ? commandLine : "");
}
