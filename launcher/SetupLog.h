// The diagnostic log for the people who support an installation. When the environment variable
// CORVANE_SETUP_LOG names a file, each step of Setup.exe appends one timestamped line to it.
// Without the variable (or with a name too long to open) nothing is written; a log that cannot
// be written is ignored, and nothing Setup.exe does depends on the log.
#pragma once

class SetupLog {
public:
    // Formats one step as platform::FormatText does (C99's printf formats) and appends it as a
    // line of its own: "2026-12-08 09:41:40.123 [pid] text". Line breaks and other control
    // characters in the text become blanks, so that a step never spans lines; text beyond
    // kLineBuffer is cut.
    static void Write(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

    // Room for a step with the longest runtime command line and a full path besides.
    static constexpr int kLineBuffer = 2048;
};
