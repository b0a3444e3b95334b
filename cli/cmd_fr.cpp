#include <cstdio>

#include "cli/commands.h"

namespace srx::cli {

// Not built yet: says so and fails.
int RunFr(int, char**) {
    std::fprintf(stderr, "sonrix-cli: \"fr\" is not available yet\n");
    return 3;
}

}  // namespace srx::cli
