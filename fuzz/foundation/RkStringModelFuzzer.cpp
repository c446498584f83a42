// Applies random sequences of operations to a few RkString objects that share blocks and checks
// every text against a plain std::string model, and every block's count against the number of
// strings that stand on it.

#include "ArchiveTesting.h"
#include "RkString.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int kSlots = 4;
constexpr size_t kMaximumLength = 4096;

[[noreturn]] void Fail(const char* what, int slot)
{
    std::fprintf(stderr, "model mismatch: %s (slot %d)\n", what, slot);
    std::abort();
}

void Require(bool condition, const char* what, int slot = -1)
{
    if (!condition)
        Fail(what, slot);
}

const RkStringData& HeaderOf(const RkString& text)
{
    return *(reinterpret_cast<const RkStringData*>(static_cast<const char*>(text)) - 1);
}

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool White(char c) { return (c >= 0x09 && c <= 0x0D) || c == ' '; }

// Short texts from a small alphabet, so that searches and replacements find something.
std::string SmallText(FuzzedDataProvider& data, bool allowNul)
{
    static const char kAlphabet[] = "abAB \t-x";
    size_t length = data.ConsumeIntegralInRange<size_t>(0, 12);
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        int pick = data.ConsumeIntegralInRange<int>(0, allowNul ? 8 : 7);
        text += pick == 8 ? '\0' : kAlphabet[pick];
    }
    return text;
}

template <class Trimmed>
std::string ModelTrimRight(const std::string& text, Trimmed trimmed)
{
    std::string scanned = UpToNul(text);
    size_t end = scanned.size();
    while (end > 0 && trimmed(scanned[end - 1]))
        --end;
    return end == scanned.size() ? text : scanned.substr(0, end);
}

template <class Trimmed>
std::string ModelTrimLeft(const std::string& text, Trimmed trimmed)
{
    size_t skipped = 0;
    while (skipped < text.size() && trimmed(text[skipped]))
        ++skipped;
    return text.substr(skipped);
}

std::string ModelReplace(const std::string& text, const std::string& from, const std::string& to,
                         bool ignoreCase)
{
    auto fold = [ignoreCase](std::string s) {
        if (ignoreCase)
            std::transform(s.begin(), s.end(), s.begin(), Upper);
        return s;
    };
    std::string pattern = fold(from);
    std::string result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nul = text.find('\0', start);
        size_t end = nul == std::string::npos ? text.size() : nul;
        std::string segment = text.substr(start, end - start);
        std::string folded = fold(segment);
        for (size_t at = 0;;) {
            size_t match = folded.find(pattern, at);
            if (match == std::string::npos) {
                result += segment.substr(at);
                break;
            }
            result += segment.substr(at, match - at) + to;
            at = match + pattern.size();
        }
        if (nul == std::string::npos)
            break;
        result += '\0';
        start = nul + 1;
    }
    return result;
}

class Harness {
public:
    Harness()
    {
        for (auto& slot : m_slots)
            slot.reset(new RkString);
    }

    void Run(FuzzedDataProvider& data)
    {
        while (data.remaining_bytes() > 0) {
            int a = data.ConsumeIntegralInRange<int>(0, kSlots - 1);
            int b = data.ConsumeIntegralInRange<int>(0, kSlots - 1);
            Apply(data, data.ConsumeIntegralInRange<int>(0, 24), a, b);
            CheckAll();
            // Self-appends double a text; keep sizes where a run stays fast.
            if (m_model[a].size() > kMaximumLength) {
                S(a).Empty();
                m_model[a].clear();
            }
        }
    }

private:
    RkString& S(int i) { return *m_slots[i]; }
    bool Locked(int i) { return HeaderOf(S(i)).refCount == -1; }
    bool OnEmptyBlock(int i) { return HeaderOf(S(i)).refCount == -2; }
    void ExpectPrivate(int i) { Require(HeaderOf(S(i)).refCount <= 1, "written block still shared", i); }

    void Apply(FuzzedDataProvider& data, int op, int a, int b)
    {
        std::string& ma = m_model[a];
        switch (op) {
        case 0: {  // assignment from another string
            bool shares = !Locked(a) && !Locked(b) && !OnEmptyBlock(b);
            S(a) = S(b);
            ma = m_model[b];
            if (shares)
                Require(static_cast<const char*>(S(a)) == static_cast<const char*>(S(b)), "assignment shares", a);
            break;
        }
        case 1: {  // copy construction; a locked source gives its text up to the first NUL
            bool locked = Locked(b);
            m_slots[a].reset(new RkString(S(b)));
            ma = locked ? UpToNul(m_model[b]) : m_model[b];
            if (!locked && !OnEmptyBlock(b))
                Require(static_cast<const char*>(S(a)) == static_cast<const char*>(S(b)), "copy shares", a);
            break;
        }
        case 2: {
            std::string text = SmallText(data, false);
            S(a) = text.c_str();
            ma = text;
            break;
        }
        case 3: {
            std::string text = SmallText(data, true);
            m_slots[a].reset(new RkString(text.data(), static_cast<int>(text.size())));
            ma = text;
            break;
        }
        case 4: {
            std::string text = SmallText(data, false);
            S(a) += text.c_str();
            ma += text;
            break;
        }
        case 5: {
            char ch = data.ConsumeIntegral<char>();
            S(a) += ch;
            ma += ch;
            break;
        }
        case 6: {
            std::string added = m_model[b];
            S(a) += S(b);
            ma += added;
            break;
        }
        case 7: {
            std::string sum = m_model[a] + m_model[b];
            RkString result = S(a) + S(b);
            S(a) = result;
            ma = sum;
            break;
        }
        case 8:
            if (!ma.empty()) {
                int index = data.ConsumeIntegralInRange<int>(0, static_cast<int>(ma.size()) - 1);
                char ch = data.ConsumeIntegral<char>();
                S(a).SetAt(index, ch);
                ma[static_cast<size_t>(index)] = ch;
                ExpectPrivate(a);
            }
            break;
        case 9: {  // write through a reserved buffer
            int minimum = data.ConsumeIntegralInRange<int>(0, 40);
            char* chars = S(a).GetBuffer(minimum);
            ExpectPrivate(a);
            int capacity = S(a).GetAllocLength();
            Require(capacity >= minimum && capacity >= static_cast<int>(ma.size()), "GetBuffer room", a);
            int length = data.ConsumeIntegralInRange<int>(0, capacity);
            if (capacity > 0) {
                std::string text = ma.substr(0, static_cast<size_t>(length));
                text.resize(static_cast<size_t>(length), 'w');
                std::memcpy(chars, text.data(), text.size());
                S(a).ReleaseBuffer(length);
                ma = text;
            }
            break;
        }
        case 10:
            S(a).FreeExtra();
            Require(S(a).GetAllocLength() == static_cast<int>(ma.size()), "FreeExtra trims", a);
            break;
        case 11:
            if (data.ConsumeBool())
                S(a).LockBuffer();
            else
                S(a).UnlockBuffer();
            break;
        case 12:
            S(a).Empty();
            ma.clear();
            break;
        case 13: {
            int first = data.ConsumeIntegralInRange<int>(-3, 15);
            int count = data.ConsumeIntegralInRange<int>(-3, 15);
            int size = static_cast<int>(m_model[b].size());
            int from = std::max(first, 0);
            int taken = std::max(count, 0);
            if (from + taken > size)
                taken = size - from;
            if (from > size)
                taken = 0;
            std::string expected = taken > 0 ? m_model[b].substr(static_cast<size_t>(from), static_cast<size_t>(taken)) : "";
            RkString part = S(b).Mid(first, count);
            S(a) = part;
            ma = expected;
            break;
        }
        case 14: {
            int which = data.ConsumeIntegralInRange<int>(0, 2);
            std::string head = UpToNul(ma);
            if (which == 0) {
                S(a).MakeUpper();
                std::transform(head.begin(), head.end(), head.begin(), Upper);
            } else if (which == 1) {
                S(a).MakeLower();
                std::transform(head.begin(), head.end(), head.begin(), Lower);
            } else {
                S(a).MakeReverse();
                std::reverse(head.begin(), head.end());
            }
            ma.replace(0, head.size(), head);
            ExpectPrivate(a);
            break;
        }
        case 15: {
            int which = data.ConsumeIntegralInRange<int>(0, 3);
            if (which == 0) {
                S(a).TrimRight();
                ma = ModelTrimRight(ma, White);
            } else if (which == 1) {
                S(a).TrimLeft();
                ma = ModelTrimLeft(ma, White);
            } else {
                std::string set = SmallText(data, false);
                if (which == 2) {
                    S(a).TrimRight(set.c_str());
                    ma = ModelTrimRight(ma, [&](char c) { return set.find(c) != std::string::npos; });
                } else {
                    S(a).TrimLeft(set.c_str());
                    ma = ModelTrimLeft(ma, [&](char c) { return c && set.find(c) != std::string::npos; });
                }
            }
            break;
        }
        case 16: {
            int index = data.ConsumeIntegralInRange<int>(-2, 15);
            int count = data.ConsumeIntegralInRange<int>(-1, 15);
            Require(S(a).Delete(index, count) == static_cast<int>(ma.size()), "Delete result", a);
            size_t from = static_cast<size_t>(std::max(index, 0));
            if (count > 0 && from < ma.size())
                ma.erase(from, static_cast<size_t>(count));
            break;
        }
        case 17: {
            int index = data.ConsumeIntegralInRange<int>(-2, 15);
            size_t at = std::min(static_cast<size_t>(std::max(index, 0)), ma.size());
            if (data.ConsumeBool()) {
                char ch = data.ConsumeIntegral<char>();
                ma.insert(at, 1, ch);
                Require(S(a).Insert(index, ch) == static_cast<int>(ma.size()), "Insert result", a);
            } else {
                std::string text = SmallText(data, false);
                ma.insert(at, text);
                Require(S(a).Insert(index, text.c_str()) == static_cast<int>(ma.size()), "Insert result", a);
            }
            break;
        }
        case 18: {
            char from = data.ConsumeBool() ? 'a' : '\0';
            char to = data.ConsumeBool() ? 'b' : 'a';
            long expected = from == to ? 0 : std::count(ma.begin(), ma.end(), from);
            Require(S(a).Replace(from, to) == expected, "Replace(char) count", a);
            if (from != to)
                std::replace(ma.begin(), ma.end(), from, to);
            break;
        }
        case 19: {
            char ch = data.ConsumeBool() ? 'a' : ' ';
            long expected = std::count(ma.begin(), ma.end(), ch);
            Require(S(a).Remove(ch) == expected, "Remove count", a);
            ma.erase(std::remove(ma.begin(), ma.end(), ch), ma.end());
            break;
        }
        case 20: {
            std::string from = SmallText(data, false);
            std::string to = SmallText(data, false);
            bool ignoreCase = data.ConsumeBool();
            std::string expected = from.empty() ? ma : ModelReplace(ma, from, to, ignoreCase);
            if (ignoreCase)
                S(a).ReplaceNoCase(from.c_str(), to.c_str());
            else
                S(a).Replace(from.c_str(), to.c_str());
            ma = expected;
            break;
        }
        case 21: {
            std::string text = UpToNul(m_model[b]);
            int number = data.ConsumeIntegral<int>();
            int width = data.ConsumeIntegralInRange<int>(-150, 150);
            int needed = std::snprintf(nullptr, 0, "%*s|%d|%.3s", width, text.c_str(), number, text.c_str());
            std::string expected(static_cast<size_t>(needed) + 1, '\0');
            std::snprintf(&expected[0], expected.size(), "%*s|%d|%.3s", width, text.c_str(), number, text.c_str());
            expected.pop_back();
            RkString source(S(b));  // the arguments must not live in the string being formatted
            S(a).Format("%*s|%d|%.3s", width, static_cast<const char*>(source), number, static_cast<const char*>(source));
            ma = expected;
            break;
        }
        case 22: {
            ma = UpToNul(ma);
            const unsigned short* wide = S(a);
            for (size_t i = 0; i <= ma.size(); ++i)
                Require(wide[i] == static_cast<unsigned char>(i < ma.size() ? ma[i] : 0), "16-bit text", a);
            break;
        }
        case 23: {  // read-only queries
            std::string head = UpToNul(ma);
            std::string other = UpToNul(m_model[b]);
            int compare = head.compare(other);
            Require(S(a).Compare(S(b)) == (compare > 0) - (compare < 0), "Compare", a);
            size_t found = other.empty() ? 0 : head.find(other);
            Require(S(a).Find(static_cast<const char*>(S(b))) == (found == std::string::npos ? -1 : static_cast<int>(found)), "Find", a);
            size_t reverse = head.rfind('a');
            Require(S(a).ReverseFind('a') == (reverse == std::string::npos ? -1 : static_cast<int>(reverse)), "ReverseFind", a);
            break;
        }
        default: {  // through an archive
            Bytes bytes = StoredBytes([&](CArchive& ar) { ar << S(b); });
            LoadingArchive loading(bytes);
            loading.archive() >> S(a);
            ma = m_model[b];
            ExpectPrivate(a);
            break;
        }
        }
    }

    void CheckAll()
    {
        std::map<const char*, int> users;
        for (int i = 0; i < kSlots; ++i) {
            const RkString& text = S(i);
            const RkStringData& header = HeaderOf(text);
            const std::string& model = m_model[i];
            Require(header.dataLength == static_cast<int>(model.size()), "length", i);
            Require(header.dataLength <= header.allocLength, "length within the block", i);
            Require(std::memcmp(static_cast<const char*>(text), model.data(), model.size()) == 0, "text", i);
            Require(static_cast<const char*>(text)[model.size()] == '\0', "terminator", i);
            ++users[static_cast<const char*>(text)];
        }
        const char* empty = RkGetEmptyString();
        for (const auto& block : users) {
            long count = (reinterpret_cast<const RkStringData*>(block.first) - 1)->refCount;
            if (block.first == empty)
                Require(count == -2 && *empty == '\0', "shared empty block untouched");
            else if (count == -1)
                Require(block.second == 1, "locked block has one owner");
            else
                Require(count == block.second, "count matches the sharers");
        }
    }

    std::unique_ptr<RkString> m_slots[kSlots];
    std::string m_model[kSlots];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    Harness harness;
    harness.Run(data);
    return 0;
}
