// The stand-in runtime's log beside its executable, named after it (Lumeplay.exe writes
// Lumeplay.log). Every line starts with the time as a FILETIME count (100 ns units since 1601,
// UTC) and ends with CR LF. A start record has two more fields, the current directory and the
// whole command line, tab-separated; a transcript line has one, the text of a step or an event,
// with any tab or line break in it made a blank. Each line is one write in append mode, so that
// processes logging at the same time never interleave their lines.
#pragma once

#include <string>

class RuntimeLog {
public:
    RuntimeLog();

    // The file beside the executable with the executable's name and this extension.
    static std::string Beside(const char* extension);

    bool AppendStartRecord() const;
    void Append(const std::string& text) const;

private:
    bool AppendLine(const std::string& fields) const;

    std::string m_path;
};
