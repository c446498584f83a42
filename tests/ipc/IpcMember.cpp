// A group member for the tests: joins the group named on its command line ("-" for the null
// name) and follows commands read line by line from standard input, answering each with exactly
// one line on standard output:
//   status                          entered <0|1> queue <index> pending <n> views <n> others <n>
//                                   (views: of the queue heap, each with its mapping handle;
//                                   others: the other members still there)
//   send <tag> <first> <count> <mode> [<turns-every>]
//                                   sends events first..first+count-1 (MemberTraffic.h), running
//                                   a delivery turn after every <turns-every> of them; "sent <n>"
//                                   counts the sends that were reported handled
//   raw <code> <value>              sends one event without data; "sent <0|1>" likewise
//   deliver <turns>                 runs event turns; "received <n>"
//   await <total> <timeout-ms>      runs event turns until <total> events arrived; "received <n>"
//   report                          received <n> bad <n> foreign <n> tags <tag>:<n>,...
//   extra <n>                       constructs n more members in this process; "entered <n>"
//   quit                            leaves the group; "bye"
#include "COProcDispatcher.h"
#include "CommonObjectBase.h"
#include "CommonObjectEventManager.h"
#include "MemberTraffic.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace traffic = member_traffic;

// Checks every event it receives against what its sender must have sent.
class Recorder : public CommonObjectBase {
public:
    long Received() const { return m_received; }

    std::string Report() const
    {
        std::ostringstream out;
        out << "received " << m_received << " bad " << m_bad << " foreign " << m_foreign << " tags ";
        for (const auto& [tag, next] : m_nextSeq)
            out << tag << ':' << next << ',';
        return out.str();
    }

protected:
    bool HandleEvent(COEvent* event) override
    {
        ++m_received;
        const int tag = traffic::TagOf(event->code);
        if (tag == 0) {
            ++m_foreign;
            return true;
        }
        const long seq = traffic::SeqOf(event->code);
        long& next = m_nextSeq[tag];
        if (seq != next || !HasExpectedData(*event, tag, seq))
            ++m_bad;
        next = seq + 1;
        return true;
    }

private:
    static bool HasExpectedData(const COEvent& event, int tag, long seq)
    {
        // The sender keeps the data size it meant in targetID, which travels untouched.
        if (event.dataSize != event.targetID)
            return false;
        if (event.dataSize <= 0)
            return CODataToValue(event.data) == traffic::Value(tag, seq);
        const auto* bytes = static_cast<const unsigned char*>(event.data);
        for (long i = 0; i < event.dataSize; ++i) {
            if (bytes[i] != traffic::DataByte(tag, seq, i))
                return false;
        }
        return true;
    }

    long m_received = 0;
    long m_bad = 0;
    long m_foreign = 0;
    std::map<int, long> m_nextSeq;  // per sender tag: the sequence number expected next
};

// Opens the protected state that the tests look at.
class Member : public COProcDispatcher {
public:
    using COProcDispatcher::COProcDispatcher;
    using COProcDispatcher::IsEntered;

    std::string Status()
    {
        std::ostringstream out;
        out << "entered " << (IsEntered() ? 1 : 0) << " queue " << m_ownQueueIndex << " pending "
            << GetPendingCount() << " views " << m_queueHeap->GetMappedCount() << " others "
            << GetOtherMemberCount();
        return out.str();
    }
};

class MemberProgram {
public:
    explicit MemberProgram(const char* group) : m_manager(nullptr), m_group(group), m_member(new Member(group))
    {
        m_member->AddReceiver(m_recorder->GetID());
    }
    ~MemberProgram()
    {
        m_extras.clear();
        delete m_member;
    }

    // False once the program should end.
    bool Run(const std::string& line)
    {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "status")
            Answer(m_member->Status());
        else if (command == "send")
            Send(in);
        else if (command == "raw")
            Raw(in);
        else if (command == "deliver")
            Deliver(in);
        else if (command == "await")
            Await(in);
        else if (command == "report")
            Answer(m_recorder->Report());
        else if (command == "extra")
            Extra(in);
        else if (command == "quit")
            return false;
        else
            Answer("unknown " + command);
        return true;
    }

    static void Answer(const std::string& text)
    {
        std::cout << text << std::endl;
    }

private:
    void Send(std::istringstream& in)
    {
        int tag = 0;
        long first = 0, count = 0, turnsEvery = 0;
        std::string mode;
        in >> tag >> first >> count >> mode >> turnsEvery;
        std::vector<unsigned char> buffer;
        long handled = 0;
        for (long seq = first; seq < first + count; ++seq) {
            const long size = traffic::DataSize(mode, tag, seq);
            buffer.resize(static_cast<std::size_t>(size));
            for (long i = 0; i < size; ++i)
                buffer[static_cast<std::size_t>(i)] = traffic::DataByte(tag, seq, i);
            void* data = size > 0 ? buffer.data() : COValueToData(traffic::Value(tag, seq));
            COEvent event = COMakeEvent(0, m_member->GetID(), traffic::Code(tag, seq), data, size, 0);
            event.targetID = size;
            handled += CommonObjectEventManager::staticSendEvent(&event, 0) ? 1 : 0;
            if (turnsEvery > 0 && (seq - first + 1) % turnsEvery == 0)
                CommonObjectEventManager::staticDispatchEvents(0);
        }
        Answer("sent " + std::to_string(handled));
    }

    void Raw(std::istringstream& in)
    {
        unsigned long code = 0;
        long value = 0;
        in >> code >> value;
        COEvent event = COMakeEvent(0, m_member->GetID(), code, COValueToData(value), 0, 0);
        Answer(CommonObjectEventManager::staticSendEvent(&event, 0) ? "sent 1" : "sent 0");
    }

    void Deliver(std::istringstream& in)
    {
        int turns = 1;
        in >> turns;
        for (int i = 0; i < turns; ++i)
            CommonObjectEventManager::staticDispatchEvents(0);
        Answer("received " + std::to_string(m_recorder->Received()));
    }

    void Await(std::istringstream& in)
    {
        long total = 0;
        DWORD timeout = 0;
        in >> total >> timeout;
        const DWORD start = GetTickCount();
        CommonObjectEventManager::staticDispatchEvents(0);
        while (m_recorder->Received() < total && GetTickCount() - start < timeout) {
            Sleep(5);
            CommonObjectEventManager::staticDispatchEvents(0);
        }
        Answer("received " + std::to_string(m_recorder->Received()));
    }

    void Extra(std::istringstream& in)
    {
        int count = 0;
        in >> count;
        int entered = 0;
        for (int i = 0; i < count; ++i) {
            m_extras.push_back(std::make_unique<Member>(m_group));
            entered += m_extras.back()->IsEntered() ? 1 : 0;
        }
        Answer("entered " + std::to_string(entered));
    }

    CommonObjectEventManager m_manager;
    const char* m_group;  // null for the null name
    std::unique_ptr<Recorder> m_recorder = std::make_unique<Recorder>();
    Member* m_member;  // deleted before the manager, which would otherwise destroy it
    std::vector<std::unique_ptr<Member>> m_extras;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: ipc_member <group | ->\n");
        return 2;
    }
    const char* group = std::string(argv[1]) == "-" ? nullptr : argv[1];
    {
        MemberProgram program(group);
        std::string line;
        while (std::getline(std::cin, line) && program.Run(line)) {
        }
    }
    // Only once the member has left: the tests count on it.
    MemberProgram::Answer("bye");
    return 0;
}
