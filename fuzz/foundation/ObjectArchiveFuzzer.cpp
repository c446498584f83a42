// Random bytes in front of the archive's object reader: each read gives an object or a clean
// framework exception, nothing leaks, and what was read is written again in a form that reads
// back and writes out byte for byte the same. The first byte picks the archive's buffer size,
// whether a requested class is passed, and whether the objects come from a selected pool.

#include "ArchiveTesting.h"
#include "BlockPool.h"
#include "CException.h"
#include "CObString.h"
#include "MemoryPool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "object reader: %s\n", what);
        std::abort();
    }
}

// Every object an archive gave out, once or more often; deleted once each at the end.
std::vector<CObject*> s_given;

// Refers to any object, itself and objects still being read included, without owning it.
class FuzzLink : public DObject {
    DECLARE_SERIAL(FuzzLink)
public:
    LONG label = 0;
    CObject* target = nullptr;

    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring()) {
            ar << label << target;
            return;
        }
        ar >> label;
        target = ar.ReadObject(nullptr);
        // Last, so that a link that fails has handed out nothing the archive deletes again.
        s_given.push_back(target);
    }
};
IMPLEMENT_SERIAL(FuzzLink, CObject, 3)

struct Options {
    int bufferSize;
    bool requestStrings;
    bool pooled;
    bool automaticDelete;
};

// Reads objects until the data ends or is refused; returns those read at the top level.
std::vector<CObject*> ReadAll(const Bytes& bytes, const Options& options)
{
    LoadingArchive loading(bytes, options.bufferSize);
    std::vector<CObject*> read;
    try {
        for (;;) {
            CObject* object = nullptr;
            if (options.requestStrings) {
                CObString* text = nullptr;
                loading.archive() >> text;
                object = text;
            } else {
                loading.archive() >> object;
            }
            s_given.push_back(object);
            read.push_back(object);
        }
    } catch (CException* raised) {
        raised->Delete();
    }
    return read;
}

Bytes WriteAll(const std::vector<CObject*>& objects)
{
    return StoredBytes([&](CArchive& ar) {
        for (CObject* object : objects)
            ar << object;
    });
}

// What was read, written again, must read back whole and write out the same bytes.
void CheckRewrite(const std::vector<CObject*>& read)
{
    Bytes written = WriteAll(read);
    MemoryPool::ResetClassVersions();
    LoadingArchive loading(written);
    std::vector<CObject*> again(read.size());
    try {
        for (CObject*& object : again) {
            loading.archive() >> object;
            s_given.push_back(object);
        }
    } catch (CException* raised) {
        raised->Delete();
        Require(false, "a written archive does not read back");
    }
    Require(WriteAll(again) == written, "a written archive reads back as another");
}

void DeleteGiven()
{
    std::sort(s_given.begin(), s_given.end());
    s_given.erase(std::unique(s_given.begin(), s_given.end()), s_given.end());
    for (CObject* object : s_given)
        delete object;
    s_given.clear();
}

void ReadAndCheck(const Bytes& bytes, const Options& options)
{
    MemoryPool::ResetClassVersions();
    CheckRewrite(ReadAll(bytes, options));
    DeleteGiven();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Options options{16 + (data[0] & 0x1F), (data[0] & 0x20) != 0, (data[0] & 0x80) != 0,
                    (data[0] & 0x40) != 0};
    Bytes bytes(data + 1, data + size);
    if (!options.pooled) {
        ReadAndCheck(bytes, options);
        return 0;
    }
    BlockPool pool(4096);
    MemoryPool::SelectPool(&pool);
    DObject::SetBlockAlloc(1);
    DObject::SetAutomaticDelete(options.automaticDelete);
    ReadAndCheck(bytes, options);
    MemoryPool::SelectPool(nullptr);
    Require(pool.liveCount == 0 && pool.firstBlock == nullptr, "pool objects outlive their reader");
    return 0;
}
