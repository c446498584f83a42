#include "ExecuterProtocol.h"

#include <cstring>
#include <string_view>

std::size_t BoundedTextLength(const char* data, long size)
{
    if (data == nullptr || size <= 0)
        return 0;
    const auto* end = static_cast<const char*>(std::memchr(data, '\0', static_cast<std::size_t>(size)));
    return end ? static_cast<std::size_t>(end - data) : static_cast<std::size_t>(size);
}

namespace {

RkString Part(std::string_view text, std::size_t begin, std::size_t end)
{
    return RkString(text.data() + begin, static_cast<int>(end - begin));
}

}  // namespace

ProcessRequest SplitProcessRequest(const char* text, std::size_t length)
{
    ProcessRequest request;
    const std::string_view whole(text, length);
    const std::size_t backslash = whole.rfind('\\');
    if (backslash == std::string_view::npos) {
        request.commandLine = Part(whole, 0, length);
        return request;
    }
    request.changesDirectory = true;
    request.directory = Part(whole, 0, backslash);
    request.commandLine = Part(whole, backslash + 1, length);
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
    const std::string_view command(text, BoundedTextLength(text, size - static_cast<long>(kExecCommandTextOffset)));
    request->commandText = Part(command, 0, command.size());
    const std::size_t backslash = command.find('\\');
    const std::size_t blank = command.find(' ');
    request->fromMedium = backslash != std::string_view::npos && blank != std::string_view::npos && backslash < blank;
    return true;
}

std::vector<char> MakeExecCommand(unsigned int showCommand, const char* commandText)
{
    const std::size_t length = commandText != nullptr ? std::strlen(commandText) : 0;
    std::vector<char> payload(kExecCommandTextOffset + length + 1, '\0');
    const std::uint32_t show = showCommand;
    std::memcpy(payload.data(), &show, sizeof show);
    if (length != 0)
        std::memcpy(payload.data() + kExecCommandTextOffset, commandText, length);
    return payload;
}
