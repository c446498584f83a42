// Archives over memory for tests: the bytes a storing action produces, and an archive that
// loads from given bytes.
#pragma once

#include "CArchive.h"
#include "CMemFile.h"

#include <string>
#include <vector>

using Bytes = std::vector<BYTE>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

template <class Store>
Bytes StoredBytes(Store&& store, int bufferSize = 4096)
{
    CMemFile file;
    CArchive archive(&file, CArchive::store, bufferSize);
    store(archive);
    archive.Close();
    Bytes bytes(file.GetLength());
    file.SeekToBegin();
    file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return bytes;
}

class LoadingArchive {
public:
    explicit LoadingArchive(Bytes bytes, int bufferSize = 4096)
        : m_bytes(std::move(bytes)), m_file(m_bytes.data(), static_cast<UINT>(m_bytes.size())),
          m_archive(&m_file, CArchive::load, bufferSize)
    {
    }
    CArchive& archive() { return m_archive; }

private:
    Bytes m_bytes;
    CMemFile m_file;
    CArchive m_archive;
};
