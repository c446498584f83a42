// Small owners of Win32 resources, so that every path out of a function releases what it took.
// Windows only; the portable modules never include this header.
#pragma once

#include <windows.h>

#include <utility>

// A kernel object handle, closed when the owner goes. Holds null or INVALID_HANDLE_VALUE when
// the call that should have produced it failed.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = other.Detach();
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Detach() { return std::exchange(m_handle, nullptr); }

    void Close()
    {
        if (IsValid())
            CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

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

// Holds a mutex that this thread has waited for, released when the holder goes. The wait's
// result is not examined: an abandoned mutex is taken over and the work proceeds.
class ScopedMutexHold {
public:
    explicit ScopedMutexHold(HANDLE mutex) : m_mutex(mutex) { WaitForSingleObject(m_mutex, INFINITE); }
    ~ScopedMutexHold() { ReleaseMutex(m_mutex); }
    ScopedMutexHold(const ScopedMutexHold&) = delete;
    ScopedMutexHold& operator=(const ScopedMutexHold&) = delete;

private:
    HANDLE m_mutex;
};
