// Owners of Win32 resources: each releases what it holds when it goes out of scope, on every
// path. They all live here so that every module uses the same ones.
#pragma once

#include <windows.h>

// A kernel object handle (file, process, thread, ...), closed with CloseHandle. Null and
// INVALID_HANDLE_VALUE both mean "none": the creating functions disagree on which they return.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~KernelHandle()
    {
        if (IsOpen())
            CloseHandle(m_handle);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    bool IsOpen() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};
