// A disk file opened through the operating system (Win32 handles on Windows, POSIX descriptors
// elsewhere). The virtual members are the ones CMemFile replaces.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"
#include "CString.h"

class CORVANE_API CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,      // create, or truncate an existing file ...
        modeNoTruncate = 0x2000,  // ... unless this is given too
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile();
    // Opens the file or raises CFileException.
    CFile(LPCTSTR fileName, UINT openFlags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened; the object stays closed.
    virtual BOOL Open(LPCTSTR fileName, UINT openFlags);
    // Returns the bytes read, fewer than asked only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    // Returns the new position.
    virtual LONG Seek(LONG offset, UINT from);
    virtual DWORD GetPosition() const;
    virtual DWORD GetLength() const;
    virtual void Flush();
    virtual void Close();

    void SeekToBegin() { Seek(0, begin); }
    DWORD SeekToEnd() { return static_cast<DWORD>(Seek(0, end)); }
    LPCTSTR GetFileName() const { return m_strFileName; }

protected:
    CString m_strFileName;

private:
    [[noreturn]] void ThrowLastError() const;

#ifdef _WIN32
    HANDLE m_hFile;
#else
    int m_hFile;
#endif
};
