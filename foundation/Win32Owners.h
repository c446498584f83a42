// Owners of Win32 resources: each releases what it holds when it goes out of scope, on every
// path. They all live here so that every module uses the same ones.
#pragma once

#include <windows.h>

// A handle released by `Release` when the owner goes. Null and INVALID_HANDLE_VALUE both mean
// "none": the creating functions disagree on which they return.
template <class Release>
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~OwnedHandle()
    {
        if (IsOpen())
            Release()(m_handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    bool IsOpen() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseFindHandle {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
struct ReleaseActivationContext {
    void operator()(HANDLE handle) const { ReleaseActCtx(handle); }
};

// A kernel object: file, process, thread, snapshot, token, ...
using KernelHandle = OwnedHandle<CloseKernelHandle>;

// A directory search from FindFirstFileA.
using FindHandle = OwnedHandle<CloseFindHandle>;

// An activation context from CreateActCtxA.
using ActivationContext = OwnedHandle<ReleaseActivationContext>;
