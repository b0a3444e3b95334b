#pragma once
#include <string>

namespace srx::cli {

struct Command {
    const char* name;
    const char* help;
    int (*run)(int argc, char** argv);
};

// Terminated by an entry with a null name.
extern const Command kCommands[];

// Commands in files of their own.
int RunInfo(int argc, char** argv);
int RunFr(int argc, char** argv);
int RunMeasure(int argc, char** argv);

// A JSON string literal for `s` (quotes included).
std::string JsonString(const std::string& s);

}  // namespace srx::cli
