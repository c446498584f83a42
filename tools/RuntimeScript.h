// The scenario the stand-in runtime plays against its executer, one command a line:
//
//   create-process TEXT    ask the executer to start TEXT with CreateProcess
//   winexec SHOW TEXT      ask it to run TEXT with WinExec and show command SHOW
//   query                  ask for a reply and wait for it (up to 10 s)
//   await CODE             keep taking events until one with code CODE has arrived, now or
//                          before (up to 10 s): how a runtime waits for a member it started
//   retain / release       raise or lower the executer's keep-alive count
//   sleep MS               keep taking events for MS milliseconds
//   send CODE [TEXT]       send any code, with TEXT's bytes as data (no NUL added; %HH is the
//                          byte HH, so that hostile payloads can be written down)
//   exit CODE              leave the channel and end with that exit code
//   close-splash           post a timer tick to the splash of the process that started this
//                          one: the bootstrapper sets no timer itself, so that is how a
//                          runtime dismisses the splash once it has a window of its own
//
// Blank lines and lines starting with # are skipped; numbers are decimal or 0x-prefixed hex.
#pragma once

#include <string>
#include <vector>

class RuntimeScript {
public:
    enum class Command { CreateProcess, WinExec, Query, Await, Retain, Release, Sleep, Send, Exit, CloseSplash };

    struct Step {
        int line;          // 1-based, for the log
        std::string text;  // the line as written
        Command command;
        unsigned long number;  // SHOW, MS, CODE or the exit code
        std::string data;      // TEXT; for send the decoded bytes
    };

    // False with a message naming the first line that is not a command.
    bool Parse(const std::string& script, std::string* error);

    const std::vector<Step>& Steps() const { return m_steps; }

private:
    std::vector<Step> m_steps;
};
