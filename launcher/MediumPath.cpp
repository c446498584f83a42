#include "MediumPath.h"

#include <cstring>

namespace {

// The offset of the last backslash that is a character of its own, not the second byte of a
// two-byte character; `length` when there is none.
std::size_t LastSeparator(const char* path, std::size_t length, LeadByteTest isLeadByte)
{
    std::size_t last = length;
    for (std::size_t i = 0; i < length; ++i) {
        if (path[i] == '\\')
            last = i;
        else if (isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < length)
            ++i;
    }
    return last;
}

void Clear(char (&buffer)[kPathBuffer]) { buffer[0] = '\0'; }

}  // namespace

bool FolderOfModule(const char* modulePath, LeadByteTest isLeadByte, char (&folder)[kPathBuffer])
{
    Clear(folder);
    const std::size_t length = modulePath ? strnlen(modulePath, kPathBuffer) : 0;
    if (length == 0 || length >= kPathBuffer)
        return false;
    std::size_t end = LastSeparator(modulePath, length, isLeadByte);
    if (end == length || end + 1 == length)
        return false;
    // "D:\Setup.exe" lies in "D:\", never in "D:", the drive's current folder.
    if (end == 2 && modulePath[1] == ':')
        ++end;
    std::memcpy(folder, modulePath, end);
    folder[end] = '\0';
    return true;
}

bool JoinPath(const char* folder, const char* relative, char (&path)[kPathBuffer], std::size_t room)
{
    Clear(path);
    const std::size_t folderLength = std::strlen(folder);
    const bool separated = folderLength == 0 || folder[folderLength - 1] == '\\' || *relative == '\0';
    const std::size_t length = folderLength + (separated ? 0 : 1) + std::strlen(relative);
    if (length + room >= kPathBuffer)
        return false;
    std::memcpy(path, folder, folderLength);
    if (!separated)
        path[folderLength] = '\\';
    std::strcpy(path + length - std::strlen(relative), relative);
    return true;
}
