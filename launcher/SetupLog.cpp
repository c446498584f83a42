#include "SetupLog.h"

#include "SystemFormat.h"
#include "Win32Owners.h"

#include <algorithm>
#include <cstdarg>

namespace {

// "YYYY-MM-DD hh:mm:ss.mmm [pid] ": the local time, and the process, since several runs may
// share one file. Returns the length written.
int WriteTimestamp(char* line, int size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return platform::FormatText(line, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth,
                                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                                GetCurrentProcessId());
}

// One write in append mode, so that lines of several processes sharing the file never mix.
void AppendLine(const char* path, const char* line, DWORD length)
{
    KernelHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file.IsOpen())
        WriteFile(file.Get(), line, length, &written, nullptr);
}

}  // namespace

void SetupLog::Write(const char* format, ...)
{
    // Read at every step: the variable cannot change while Setup.exe runs.
    char path[MAX_PATH];
    const DWORD pathLength = GetEnvironmentVariableA("CORVANE_SETUP_LOG", path, MAX_PATH);
    if (pathLength == 0 || pathLength >= MAX_PATH)
        return;

    char line[kLineBuffer];
    const int stamp = WriteTimestamp(line, kLineBuffer);
    if (stamp < 0 || stamp >= kLineBuffer)
        return;
    va_list arguments;
    va_start(arguments, format);
    const int wanted = platform::FormatTextV(line + stamp, kLineBuffer - stamp, format, arguments);
    va_end(arguments);
    if (wanted < 0)
        return;
    // Cut where needed, keeping room for the line end.
    int length = std::min(stamp + wanted, kLineBuffer - 3);
    for (int i = stamp; i < length; ++i)
        if (static_cast<unsigned char>(line[i]) < ' ')
            line[i] = ' ';
    line[length++] = '\r';
    line[length++] = '\n';
    AppendLine(path, line, static_cast<DWORD>(length));
}
