// The executer protocol: what the runtime asks of the bootstrapper over the inter-process
// channel "DispCvGSetup", and the one answer it gets. The runtime is another program, so every
// payload that arrives here is untrusted: it is read only within the bytes the record claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "RkString.h"

// The channel's name on both sides: the bootstrapper tells it the runtime on its command line.
constexpr char kExecuterChannel[] = "DispCvGSetup";

constexpr unsigned int COE_EXEC_RELEASE = 0xE000;         // lower the keep-alive count by 1
constexpr unsigned int COE_EXEC_CREATE_PROCESS = 0xE001;  // data: program path and arguments
constexpr unsigned int COE_EXEC_WINEXEC = 0xE002;         // data: ExecCommand
constexpr unsigned int COE_EXEC_QUERY = 0xE003;           // answered by one COE_EXEC_REPLY
constexpr unsigned int COE_EXEC_REPLY = 0xE004;           // the answer: no data, sender 0
constexpr unsigned int COE_EXEC_RETAIN = 0xE005;          // raise the keep-alive count by 1

// Payload of COE_EXEC_WINEXEC. The layout crosses processes: a 32-bit show command, then the
// NUL-terminated command text up to the end of the block.
struct ExecCommand {
    std::uint32_t showCommand;  // handed to WinExec unchanged
    char commandText[1];        // really as long as the block
};
static_assert(offsetof(ExecCommand, showCommand) == 0, "ExecCommand::showCommand offset");
static_assert(offsetof(ExecCommand, commandText) == 4, "ExecCommand::commandText offset");
constexpr std::size_t kExecCommandTextOffset = offsetof(ExecCommand, commandText);

// Length of the text at `data` up to its NUL, never looking past `size` bytes: a text without a
// NUL ends with the block. 0 for a null block or a size of 0 or less.
std::size_t BoundedTextLength(const char* data, long size);

// A COE_EXEC_CREATE_PROCESS text split at its last backslash (arguments included): the part
// before it is the directory to change to from the medium's folder, the part after it the command.
struct ProcessRequest {
    bool changesDirectory = false;  // the text held a backslash, at directory.GetLength()
    RkString directory;
    RkString commandLine;
};
ProcessRequest SplitProcessRequest(const char* text, std::size_t length);

// A COE_EXEC_WINEXEC payload read within its bounds; false when the block cannot hold the show
// command.
struct WinExecRequest {
    unsigned int showCommand = 0;
    RkString commandText;
    bool fromMedium = false;  // a backslash before the first blank: a path taken from the medium
};
bool ReadWinExecRequest(const void* data, long size, WinExecRequest* request);

// The payload of COE_EXEC_WINEXEC for a command (a C text), NUL included.
std::vector<char> MakeExecCommand(unsigned int showCommand, const char* commandText);
