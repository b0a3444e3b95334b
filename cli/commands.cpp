#include "cli/commands.h"

#include <cstdio>
#include <cstdlib>

#include "resources/string_table.h"

namespace srx::cli {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", c);
                    out += b;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

namespace {

int RunVersion(int, char**) {
    std::printf("{\"program\": \"sonrix-cli\", \"version\": \"2.20\"}\n");
    return 0;
}

int RunString(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: sonrix-cli string <id>\n");
        return 2;
    }
    int id = std::atoi(argv[0]);
    const char* text = StringText(id);
    if (!*text) {
        std::fprintf(stderr, "sonrix-cli: no string %d\n", id);
        return 1;
    }
    std::printf("{\"id\": %d, \"text\": %s}\n", id, JsonString(text).c_str());
    return 0;
}

}  // namespace

const Command kCommands[] = {
    {"version", "print the program version", RunVersion},
    {"string", "<id>: print a text of the string table", RunString},
    {"info", "FILE...: describe native and wave files", RunInfo},
    {"fr", "IMPULSE.TWF OUT.MES [--start HZ] [--ppo N] [--window TYPE] [--length S]: frequency response of an impulse response", RunFr},
    {"measure", "mls --device virtual [--order N] [--passes N] OUT.TWF [OUT.MES]: measure the virtual loudspeaker", RunMeasure},
    {nullptr, nullptr, nullptr},
};

}  // namespace srx::cli
