// A buffered stream of values to or from a CFile. Numbers are stored little-endian whatever the
// host. Loading past the end of the data raises CArchiveException::endOfFile.
#pragma once

#include "AfxTypes.h"

class CFile;

class CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2 };

    // buffer, when given, must hold bufferSize bytes and outlive the archive.
    CArchive(CFile* file, UINT mode, int bufferSize = 4096, void* buffer = nullptr);
    // A storing archive writes what it still buffers unless bNoFlushOnDelete was given. Call
    // Close() to learn of a failure: a destructor cannot report one.
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    CFile* GetFile() const { return m_pFile; }

    // Returns the bytes read, fewer than asked only at the end of the data.
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    // Hands buffered bytes to the file (storing); the archive stays open.
    void Flush();
    // Flushes and detaches from the file, which stays open.
    void Close();
    // Detaches without writing what is buffered.
    void Abort();

    CArchive& operator<<(BYTE value);
    CArchive& operator<<(WORD value);
    CArchive& operator<<(LONG value);
    CArchive& operator<<(DWORD value);
    CArchive& operator>>(BYTE& value);
    CArchive& operator>>(WORD& value);
    CArchive& operator>>(LONG& value);
    CArchive& operator>>(DWORD& value);

    // The string length prefix shared by the framework's and the system's strings: one byte
    // below 0xFF; else 0xFF and 16 bits below 0xFFFE; else 0xFF, 0xFFFF and 32 bits.
    void WriteStringLength(DWORD length);

    // What a length prefix announced. wide: the marker 0xFF, 0xFFFE came first and a second
    // prefix counted 16-bit units rather than bytes.
    struct StringPrefix {
        DWORD length;
        bool wide;
    };
    // Raises CArchiveException::badIndex for a length of 0x80000000 or more (no string can
    // hold it) and for a marker after the marker.
    StringPrefix ReadStringPrefix();
    // Reads count characters into chars, as bytes or as 16-bit units narrowed with
    // AfxNarrowChar. When the data ends early, what arrived stays in chars, the rest is set to
    // NUL and CArchiveException::endOfFile is raised.
    void ReadStringText(char* chars, DWORD count, bool wide);

private:
    // Makes `count` bytes available in the load buffer or raises endOfFile.
    void FillBuffer(UINT count);
    void WriteBuffered(const BYTE* bytes, UINT count);
    void CheckLoading() const;
    void CheckStoring() const;
    [[noreturn]] void ThrowEndOfFile() const;
    DWORD ReadLengthField(bool& marker);

    CFile* m_pFile;
    UINT m_nMode;
    BYTE* m_lpBufStart;
    UINT m_nBufSize;
    bool m_bOwnsBuffer;
    BYTE* m_lpBufCur;  // next byte to read or to write
    BYTE* m_lpBufMax;  // end of the loaded bytes (load) or of the buffer (store)
};
