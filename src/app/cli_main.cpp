#include "cli/clirun.h"

int main(int argc, char *argv[])
{
    return Cli::main(argc, argv);
}
