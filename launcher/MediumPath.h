// Paths on the installation medium, composed from the path of Setup.exe itself. A medium is the
// folder Setup.exe lies in: a drive's root for a CD, any folder for an unpacked download, a stick
// or a share. Where the process was started from, and its current folder then, do not count:
// whatever lies elsewhere may have been put there by anyone, and the bootstrapper runs elevated.
#pragma once

#include <cstddef>

// The system's limit for a path in the ANSI calls: 259 characters and the NUL.
constexpr std::size_t kPathBuffer = 260;

// Tells whether a byte opens a two-byte character of the system's ANSI code page; the byte after
// it may then have any value, a backslash's included.
using LeadByteTest = bool (*)(unsigned char byte);

// The folder part of a full module path: everything before its last backslash, keeping the
// backslash when the folder is a drive's root ("D:\"), so that it names the root and not the
// drive's current folder. False, with `folder` empty, when the path holds no backslash, ends in
// one, or is too long for the buffer.
bool FolderOfModule(const char* modulePath, LeadByteTest isLeadByte, char (&folder)[kPathBuffer]);

// `folder`, a backslash unless it ends with one or `relative` is empty, and `relative`; false,
// with `path` empty, when that does not fit in the buffer. `room` leaves space at the end of the
// buffer for what a caller adds (the system keeps one character for the current folder's final
// backslash).
bool JoinPath(const char* folder, const char* relative, char (&path)[kPathBuffer], std::size_t room = 0);
