// A stand-in for the setup runtime.
//
// Every start appends a start record (time, current directory, command line) to its log beside
// the executable, so a copy of it under another name serves as a program that shows how it was
// started. When its command line names an executer channel (Executer=NAME) and a script lies
// beside it (Lumeplay.script for Lumeplay.exe), it joins that channel and plays the script
// against the bootstrapper, logging every step and every event it receives (RuntimeScript.h).
#include "CommonObjectEventManager.h"
#include "RuntimeLog.h"
#include "RuntimeScript.h"
#include "ScriptedRuntime.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The NAME of an Executer=NAME argument, or "" when there is none.
std::string ExecuterChannel(const std::string& commandLine)
{
    const std::string key = "Executer=";
    for (std::size_t at = commandLine.find(key); at != std::string::npos; at = commandLine.find(key, at + 1)) {
        if (at == 0 || commandLine[at - 1] == ' ') {
            const std::size_t start = at + key.size();
            return commandLine.substr(start, commandLine.find(' ', start) - start);
        }
    }
    return {};
}

bool ReadWholeFile(const std::string& path, std::string* text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const RuntimeLog log;
    if (!log.AppendStartRecord())
        return 1;
    std::string text;
    if (!ReadWholeFile(RuntimeLog::Beside(".script"), &text))
        return 0;
    const std::string channel = ExecuterChannel(GetCommandLineA());
    if (channel.empty()) {
        log.Append("no executer channel on the command line: script not played");
        return 0;
    }
    RuntimeScript script;
    std::string error;
    if (!script.Parse(text, &error)) {
        log.Append(error);
        return 2;
    }
    CommonObjectEventManager eventManager(nullptr);
    ScriptedRuntime runtime(channel, log);
    return runtime.Play(script);
}
