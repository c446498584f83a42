#include "ExecuterProtocol.h"

#include <cstring>

std::size_t BoundedTextLength(const char* data, long size)
{
    if (data == nullptr || size <= 0)
        return 0;
    const auto* end = static_cast<const char*>(std::memchr(data, '\0', static_cast<std::size_t>(size)));
    return end ? static_cast<std::size_t>(end - data) : static_cast<std::size_t>(size);
}

ProcessRequest SplitProcessRequest(const char* text, std::size_t length)
{
    ProcessRequest request;
    const std::string whole(text, length);
    const std::size_t backslash = whole.rfind('\\');
    if (backslash == std::string::npos) {
        request.commandLine = whole;
        return request;
    }
    request.changesDirectory = true;
    request.directory = whole.substr(0, backslash);
    request.commandLine = whole.substr(backslash + 1);
    return request;
}

bool ReadWinExecRequest(const void* data, long size, WinExecRequest* request)
{
    if (data == nullptr || size < static_cast<long>(kExecCommandTextOffset))
        return false;
    const auto* bytes = static_cast<const char*>(data);
    std::uint32_t showCommand = 0;
    std::memcpy(&showCommand, bytes, sizeof showCommand);
    request->showCommand = showCommand;
    const char* text = bytes + kExecCommandTextOffset;
    request->commandText.assign(text, BoundedTextLength(text, size - static_cast<long>(kExecCommandTextOffset)));
    const std::size_t backslash = request->commandText.find('\\');
    const std::size_t blank = request->commandText.find(' ');
    request->fromRoot = backslash != std::string::npos && blank != std::string::npos && backslash < blank;
    return true;
}

std::vector<char> MakeExecCommand(unsigned int showCommand, const std::string& commandText)
{
    std::vector<char> payload(kExecCommandTextOffset + commandText.size() + 1, '\0');
    const std::uint32_t show = showCommand;
    std::memcpy(payload.data(), &show, sizeof show);
    std::memcpy(payload.data() + kExecCommandTextOffset, commandText.data(), commandText.size());
    return payload;
}
