// sonrix-cli: the portable core from the command line. Output is JSON.
#include "app/reading_hooks.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
    srx::InstallReadingHooks();
    return srx::cli::Main(argc, argv);
}
