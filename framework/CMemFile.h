// A file held in memory: a growable buffer of its own, or a caller's buffer attached to it.
#pragma once

#include "AfxExport.h"
#include "CFile.h"

class CORVANE_API CMemFile : public CFile {
public:
    // An empty file that grows in steps of growBytes.
    explicit CMemFile(UINT growBytes = 1024);
    // A file over the caller's buffer, size bytes long. With growBytes 0 it cannot grow
    // (writing past the end raises CMemoryException) and the buffer stays the caller's;
    // otherwise it is copied into memory of the file's own on first growth.
    CMemFile(BYTE* buffer, UINT size, UINT growBytes = 0);
    ~CMemFile() override;

    BOOL Open(LPCTSTR fileName, UINT openFlags) override;  // not supported: raises
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    LONG Seek(LONG offset, UINT from) override;
    DWORD GetPosition() const override { return m_position; }
    DWORD GetLength() const override { return m_fileSize; }
    void Flush() override {}
    void Close() override;

private:
    void GrowTo(DWORD size);

    BYTE* m_buffer;
    DWORD m_bufferSize;
    DWORD m_fileSize;
    DWORD m_position;
    UINT m_growBytes;
    bool m_ownsBuffer;
};
