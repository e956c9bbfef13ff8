// brimsey: the shake game. Without options it opens the game's window; `brimsey --headless
// ...` plays it on a virtual clock without a display.
#include <iostream>
#include <string>
#include <vector>

#include "app/AdHosting.h"
#include "app/GameClasses.h"
#include "app/HeadlessGame.h"
#include "app/HeadlessOptions.h"
#include "app/Resources.h"
#if BRIMSEY_WINDOWED
#include "platform/backend/gtk/DesktopApplication.h"
#endif

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
#if BRIMSEY_WINDOWED
    brimsey::registerGameClasses();
    brimsey::setAdsEnabled(true); // the window always hosts the banner
    platform::gtk::DesktopOptions desktop;
    desktop.interfaceFile = brimsey::pathForResource("MainWindow", "json");
    desktop.resourceDirectory = brimsey::resourceDirectory();
    return platform::gtk::runDesktopApplication(desktop);
#else
    std::cerr << "brimsey: this build has no window (built without GTK); run it with "
                 "--headless (see --help)\n";
    return 1;
#endif
}
