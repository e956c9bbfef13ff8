#include "app/GameClasses.h"

#include "app/MainView.h"
#include "app/brimseyAppDelegate.h"
#include "app/brimseyViewController.h"
#include "platform/ui/InterfaceRegistry.h"

namespace brimsey {

void registerGameClasses(platform::InterfaceRegistry& registry)
{
    registry.registerClass<brimseyAppDelegate>("brimseyAppDelegate")
        .outlet("window", &brimseyAppDelegate::setWindow)
        .outlet("viewController", &brimseyAppDelegate::setViewController);
    registry.registerClass<brimseyViewController>("brimseyViewController", "ViewController");
    registry
        .registerClass<MainView>("MainView", "View",
                                 [] { return std::shared_ptr<platform::Object>(MainView::create()); })
        .outlet("bghome", &MainView::setBghome)
        .outlet("butd1", &MainView::setButd1)
        .outlet("butd2", &MainView::setButd2)
        .outlet("butd3", &MainView::setButd3)
        .outlet("butd4", &MainView::setButd4)
        .outlet("butstart", &MainView::setButstart)
        .outlet("meter", &MainView::setMeter)
        .outlet("metercover", &MainView::setMetercover)
        .outlet("keepshaking", &MainView::setKeepshaking)
        .action("clickstart", &MainView::clickstart)
        .action("clickdone", &MainView::clickdone)
        .action("clickdone2", &MainView::clickdone2)
        .action("clickdone3", &MainView::clickdone3)
        .action("clickdone4", &MainView::clickdone4);
}

void registerGameClasses()
{
    registerGameClasses(platform::InterfaceRegistry::shared());
}

} // namespace brimsey
