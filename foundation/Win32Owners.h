// Owners of Win32 resources: each releases what it holds when it goes out of scope, on every
// path. They all live here so that every module uses the same ones. Windows only; the portable
// modules never include this header.
#pragma once

#include <windows.h>

#include <utility>

// A handle released by `Release` when the owner goes. Null and INVALID_HANDLE_VALUE both mean
// "none": the creating functions disagree on which they return.
template <class Release>
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(other.Detach()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = other.Detach();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    bool IsOpen() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Detach() { return std::exchange(m_handle, nullptr); }

    void Close()
    {
        if (IsOpen())
            Release()(m_handle);
        m_handle = nullptr;
    }

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

// A kernel object: file, process, thread, mutex, file mapping, snapshot, token, ...
using KernelHandle = OwnedHandle<CloseKernelHandle>;

// A directory search from FindFirstFileA.
using FindHandle = OwnedHandle<CloseFindHandle>;

// An activation context from CreateActCtxA.
using ActivationContext = OwnedHandle<ReleaseActivationContext>;

// A view of a file mapping, unmapped when the owner goes.
class ScopedView {
public:
    ScopedView() = default;
    explicit ScopedView(void* view) : m_view(view) {}
    ~ScopedView() { Unmap(); }
    ScopedView(ScopedView&& other) noexcept : m_view(std::exchange(other.m_view, nullptr)) {}
    ScopedView& operator=(ScopedView&& other) noexcept
    {
        if (this != &other) {
            Unmap();
            m_view = std::exchange(other.m_view, nullptr);
        }
        return *this;
    }
    ScopedView(const ScopedView&) = delete;
    ScopedView& operator=(const ScopedView&) = delete;

    void* Get() const { return m_view; }

    void Unmap()
    {
        if (m_view != nullptr)
            UnmapViewOfFile(m_view);
        m_view = nullptr;
    }

private:
    void* m_view = nullptr;
};
