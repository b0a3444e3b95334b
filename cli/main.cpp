// sonrix-cli: the portable core from the command line. Output is JSON.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "dsp/min_phase.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: sonrix-cli <command> [args]\n"
                 "commands:\n");
    for (const srx::cli::Command* c = srx::cli::kCommands; c->name; ++c)
        std::fprintf(stderr, "  %-12s %s\n", c->name, c->help);
}

}  // namespace

int main(int argc, char** argv) {
    srx::InstallMinimumPhaseOnReading();
    if (argc < 2) {
        Usage();
        return 2;
    }
    for (const srx::cli::Command* c = srx::cli::kCommands; c->name; ++c)
        if (std::strcmp(argv[1], c->name) == 0) return c->run(argc - 2, argv + 2);
    std::fprintf(stderr, "sonrix-cli: unknown command \"%s\"\n", argv[1]);
    Usage();
    return 2;
}
