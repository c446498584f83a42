#include "RuntimeScript.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Splits off the first word; the rest, trimmed, stays in *rest.
std::string FirstWord(const std::string& text, std::string* rest)
{
    const std::size_t blank = text.find_first_of(" \t");
    *rest = blank == std::string::npos ? std::string() : Trim(text.substr(blank));
    return text.substr(0, blank);
}

bool ParseNumber(const std::string& word, unsigned long* number)
{
    if (word.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(word.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || word[0] == '-' || value > 0xFFFFFFFFul)
        return false;
    *number = value;
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool DecodeBytes(const std::string& text, std::string* bytes)
{
    bytes->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes->push_back(text[i]);
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0)
            return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

struct Keyword {
    const char* word;
    RuntimeScript::Command command;
    bool takesNumber;
    bool takesText;  // required, except for send
};

const Keyword kKeywords[] = {
    {"create-process", RuntimeScript::Command::CreateProcess, false, true},
    {"winexec", RuntimeScript::Command::WinExec, true, true},
    {"query", RuntimeScript::Command::Query, false, false},
    {"await", RuntimeScript::Command::Await, true, false},
    {"retain", RuntimeScript::Command::Retain, false, false},
    {"release", RuntimeScript::Command::Release, false, false},
    {"sleep", RuntimeScript::Command::Sleep, true, false},
    {"send", RuntimeScript::Command::Send, true, true},
    {"exit", RuntimeScript::Command::Exit, true, false},
    {"close-splash", RuntimeScript::Command::CloseSplash, false, false},
};

bool ParseStep(const std::string& line, RuntimeScript::Step* step)
{
    std::string rest;
    const std::string word = FirstWord(line, &rest);
    for (const Keyword& keyword : kKeywords) {
        if (word != keyword.word)
            continue;
        step->command = keyword.command;
        step->number = 0;
        if (keyword.takesNumber) {
            std::string afterNumber;
            if (!ParseNumber(FirstWord(rest, &afterNumber), &step->number))
                return false;
            rest = afterNumber;
        }
        if (keyword.command == RuntimeScript::Command::Send)
            return DecodeBytes(rest, &step->data);
        step->data = rest;
        return keyword.takesText == !rest.empty();
    }
    return false;
}

}  // namespace

bool RuntimeScript::Parse(const std::string& script, std::string* error)
{
    m_steps.clear();
    std::istringstream lines(script);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        Step step{number, line, Command::Query, 0, {}};
        if (!ParseStep(line, &step)) {
            *error = "line " + std::to_string(number) + " is not a command: " + line;
            m_steps.clear();
            return false;
        }
        m_steps.push_back(step);
    }
    return true;
}
