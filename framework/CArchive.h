// A buffered stream of values to or from a CFile. Numbers are stored little-endian whatever the
// host. Loading past the end of the data raises CArchiveException::endOfFile.
//
// Objects (WriteObject, ReadObject) are stored in the framework's persistent-object form. Each
// object and each class gets the next index of one count that starts at 1 (0 is the null
// object), and every 16-bit tag is little-endian:
//   0x0000                          the null object
//   0xFFFF, schema, name length,    a class not yet in the archive, by name; an object of it
//     name characters               follows, its data written by its Serialize
//   0x8000 | index                  an object of a class already in the archive, by index
//   index (1 to 0x7FFE)             an object already in the archive: the same object again
//   0x7FFF and a 32-bit tag         either of the last two, for an index of 0x7FFF or more
//                                   (class indexes carry 0x80000000 in the 32-bit tag)
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

class CFile;
class CObject;
struct CRuntimeClass;

class CORVANE_API CArchive {
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

    // Stores pOb (null too). Raises CArchiveException::badClass for an object whose class is
    // not serialisable, since no archive could give it back.
    void WriteObject(const CObject* pOb);
    // Reads an object: a new one created by class name, which then reads its data, or one the
    // archive has already given. With a requested class, an object of another class raises
    // CArchiveException::badClass. Malformed data raises CArchiveException; an object that
    // fails while reading its data is deleted again, and the archive no longer refers to it.
    // The caller owns what a new object gives.
    CObject* ReadObject(const CRuntimeClass* requested);

private:
    struct ObjectTables;

    ObjectTables& Objects();
    void FreeObjects();
    void WriteClass(const CRuntimeClass* classRef);
    void WriteTag(DWORD index, bool isClass);
    // The class of a new object, or null for an object the archive already gave, whose index
    // goes to objectIndex.
    const CRuntimeClass* ReadClass(const CRuntimeClass* requested, DWORD& objectIndex);
    [[noreturn]] void Fail(int cause) const;
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
    ObjectTables* m_pObjects;  // made at the first object
};

CORVANE_API CArchive& operator<<(CArchive& ar, const CObject* pOb);
CORVANE_API CArchive& operator>>(CArchive& ar, CObject*& pOb);
CORVANE_API CArchive& operator>>(CArchive& ar, const CObject*& pOb);
