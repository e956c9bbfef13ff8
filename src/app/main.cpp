// brimsey: the shake game. `brimsey --headless ...` plays it on a virtual clock without a
// display; without --headless it opens the game's window.
#include <iostream>
#include <string>
#include <vector>

#include "app/HeadlessGame.h"
#include "app/HeadlessOptions.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = brimsey::parseHeadlessOptions(args, error);
    if (!options) {
        std::cerr << "brimsey: " << error << "\n\n" << brimsey::headlessUsage();
        return 2;
    }
    if (options->help) {
        std::cout << brimsey::headlessUsage();
        return 0;
    }
    if (options->headless)
        return brimsey::runHeadless(*options, std::cerr);
    std::cerr << "brimsey: the windowed application is not built yet; run it with --headless "
                 "(see --help)\n";
    return 1;
}
