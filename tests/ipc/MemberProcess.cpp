#include "MemberProcess.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

constexpr DWORD kExitWaitMs = 30000;

struct ChildPipes {
    KernelHandle childInput;   // the child's ends, inherited
    KernelHandle childOutput;
    KernelHandle toChild;      // ours
    KernelHandle fromChild;
};

// A pipe whose one end (`inheritedRead` says which) the child inherits.
void MakePipe(KernelHandle& read, KernelHandle& write, bool inheritedRead)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    read = KernelHandle(readEnd);
    write = KernelHandle(writeEnd);
    SetHandleInformation(inheritedRead ? writeEnd : readEnd, HANDLE_FLAG_INHERIT, 0);
}

KernelHandle Start(const std::string& program, const std::string& argument, ChildPipes& pipes)
{
    std::string commandLine = "\"" + program + "\" \"" + argument + "\"";
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes.childInput.Get();
    startup.hStdOutput = pipes.childOutput.Get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
        return KernelHandle();
    CloseHandle(info.hThread);
    // Only the child may hold its ends now, so that a child that ends ends our reads too.
    pipes.childInput.Close();
    pipes.childOutput.Close();
    return KernelHandle(info.hProcess);
}

}  // namespace

MemberProcess::MemberProcess(const std::string& group)
{
    ChildPipes pipes;
    MakePipe(pipes.childInput, pipes.toChild, true);
    MakePipe(pipes.fromChild, pipes.childOutput, false);
    m_process = Start(CORVANE_IPC_MEMBER_EXE, group, pipes);
    m_toMember = std::move(pipes.toChild);
    m_fromMember = std::move(pipes.fromChild);
}

MemberProcess::~MemberProcess()
{
    if (m_process.IsOpen() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT && !Quit())
        Kill();
}

void MemberProcess::Write(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_toMember.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string MemberProcess::ReadLine()
{
    for (;;) {
        const std::size_t end = m_buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        char chunk[256];
        DWORD read = 0;
        if (!ReadFile(m_fromMember.Get(), chunk, sizeof chunk, &read, nullptr) || read == 0)
            return std::string();
        m_buffered.append(chunk, read);
    }
}

std::string MemberProcess::Command(const std::string& line)
{
    Write(line);
    return ReadLine();
}

unsigned long MemberProcess::ProcessId() const { return GetProcessId(m_process.Get()); }

void MemberProcess::Kill()
{
    TerminateProcess(m_process.Get(), 9);
    WaitForSingleObject(m_process.Get(), kExitWaitMs);
}

bool MemberProcess::Quit()
{
    return Command("quit") == "bye" && WaitForSingleObject(m_process.Get(), kExitWaitMs) == WAIT_OBJECT_0;
}

std::string UniqueName(const std::string& purpose)
{
    static int counter = 0;
    return "CvTest" + purpose + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

long AnswerField(const std::string& answer, const std::string& key)
{
    std::istringstream in(answer);
    std::string word;
    while (in >> word) {
        long value = 0;
        if (word == key && in >> value)
            return value;
    }
    return -1;
}

std::string InspectGroup(const std::string& group)
{
    ChildPipes pipes;
    KernelHandle unusedInput;
    MakePipe(pipes.childInput, unusedInput, true);
    MakePipe(pipes.fromChild, pipes.childOutput, false);
    const KernelHandle process = Start(CORVANE_GROUP_INSPECT_EXE, group, pipes);
    std::string output;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(pipes.fromChild.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        output.append(chunk, read);
    WaitForSingleObject(process.Get(), kExitWaitMs);
    // Lines end in CR LF on the way through the console runtime.
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    return output;
}

long InspectTotal(const std::string& inspection, const std::string& key)
{
    const std::size_t total = inspection.rfind("total ");
    return total == std::string::npos ? -1 : AnswerField(inspection.substr(total), key);
}
