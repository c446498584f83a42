// Test members and the inspection tool as real processes, talked to through pipes.
#pragma once

#include "Win32Owners.h"

#include <string>

class MemberProcess {
public:
    // Starts a member of `group` ("-" joins with the null name).
    explicit MemberProcess(const std::string& group);
    // Asks a member that still runs to leave and end; ends it by force if it does not.
    ~MemberProcess();
    MemberProcess(const MemberProcess&) = delete;
    MemberProcess& operator=(const MemberProcess&) = delete;

    // Sends one command line and returns the member's one-line answer ("" if it has gone).
    std::string Command(const std::string& line);
    // The two halves of Command, for keeping several members busy at once.
    void Write(const std::string& line);
    std::string ReadLine();

    void Kill();
    unsigned long ProcessId() const;
    // "quit", then waits for the process to end; true when it answered and ended in time.
    bool Quit();

private:
    KernelHandle m_process;
    KernelHandle m_toMember;
    KernelHandle m_fromMember;
    std::string m_buffered;
};

// A group or heap name that no other test, run or process uses.
std::string UniqueName(const std::string& purpose);

// The number after `key` in an answer such as "entered 1 queue 2", or -1 when it is missing.
long AnswerField(const std::string& answer, const std::string& key);

// What co_group_inspect prints for `group`.
std::string InspectGroup(const std::string& group);

// A number from the "total" line of an inspection: "members", "blocks" or "data".
long InspectTotal(const std::string& inspection, const std::string& key);
