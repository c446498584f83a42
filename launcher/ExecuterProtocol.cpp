#include "ExecuterProtocol.h"

#include <cstring>

std::size_t BoundedTextLength(const char* data, long size)
{
    if (data == nullptr || size <= 0)
        return 0;
    const auto* end = static_cast<const char*>(std::memchr(data, '\0', static_cast<std::size_t>(size)));
    return end ? static_cast<std::size_t>(end - data) : static_cast<std::size_t>(size);
}

namespace {

// The first or last place of `ch` among `length` bytes; nullptr when it is not there.
const char* FindFirst(const char* text, std::size_t length, char ch)
{
    return static_cast<const char*>(std::memchr(text, ch, length));
}

const char* FindLast(const char* text, std::size_t length, char ch)
{
    for (std::size_t index = length; index > 0; --index) {
        if (text[index - 1] == ch)
            return text + index - 1;
    }
    return nullptr;
}

RkString Part(const char* begin, const char* end) { return RkString(begin, static_cast<int>(end - begin)); }

}  // namespace

ProcessRequest SplitProcessRequest(const char* text, std::size_t length)
{
    ProcessRequest request;
    const char* end = text + length;
    const char* backslash = FindLast(text, length, '\\');
    if (backslash == nullptr) {
        request.commandLine = Part(text, end);
        return request;
    }
    request.changesDirectory = true;
    request.directory = Part(text, backslash);
    request.commandLine = Part(backslash + 1, end);
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
    const std::size_t length = BoundedTextLength(text, size - static_cast<long>(kExecCommandTextOffset));
    request->commandText = Part(text, text + length);
    const char* backslash = FindFirst(text, length, '\\');
    const char* blank = FindFirst(text, length, ' ');
    request->fromRoot = backslash != nullptr && blank != nullptr && backslash < blank;
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
