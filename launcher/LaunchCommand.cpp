#include "LaunchCommand.h"

#include "SystemFormat.h"

#include <cstring>

void CopyCommandLine(char (&target)[kCommandLineBuffer], const char* source)
{
    std::strncpy(target, source ? source : "", kCommandLineBuffer);
    target[kCommandLineBuffer - 1] = '\0';
}

void FormatLaunchCommand(char (&buffer)[kLaunchCommandBuffer], bool withExecuter, const char* commandLine)
{
    platform::FormatText(buffer, kLaunchCommandBuffer,
                         "Lumeplay.exe RiRarud SetupProgram=ZuViruz Server=None Wnd=Maximized%s %s",
                         withExecuter ? " Executer=DispCvGSetup" : "", commandLine ? commandLine : "");
}
