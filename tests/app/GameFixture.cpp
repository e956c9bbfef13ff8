#include "GameFixture.h"

#include <cstdlib>

#include "app/GameClasses.h"
#include "platform/core/Bundle.h"
#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"
#include "platform/ui/InterfaceLoader.h"

namespace brimsey::test {

const std::string kResourceDir = BRIMSEY_SOURCE_DIR "/resources";

void GameFixture::SetUp()
{
    ::setenv("ALSOFT_DRIVERS", "null", 0);
    loop = platform::RunLoop::createVirtual();
    platform::RunLoop::setMain(loop);
    platform::Bundle::main().setResourceDirectory(kResourceDir);
    platform::Accelerometer::shared().reset();
    platform::Haptics::shared().reset();
    registerGameClasses();

    platform::InterfaceLoader loader;
    loader.setDisplayScale(1.0);
    std::string error;
    auto loaded = loader.loadFile(kResourceDir + "/MainWindow.json", &error);
    ASSERT_TRUE(loaded) << error;
    interface = std::make_shared<platform::Interface>(std::move(*loaded));
    view = std::dynamic_pointer_cast<MainView>(interface->find("gameView"));
    ASSERT_TRUE(view);
    start = loop->now();
    recorder = std::make_shared<Recorder>([this] { return elapsed(); });
    view->setObserver(recorder);
    if (!liveAccelerometer()) {
        // Samples come only from the test, at the times it chooses.
        platform::Accelerometer::shared().setDelegate({});
    }
}

void GameFixture::TearDown()
{
    if (view)
        view->setObserver({});
    platform::Accelerometer::shared().reset();
    platform::Haptics::shared().reset();
    view.reset();
    interface.reset();
}

void GameFixture::runTo(double t)
{
    // The loop's target is computed as now + (time - now), which may round an ulp below
    // an event scheduled at exactly start + t; a microsecond more catches it.
    loop->runUntilTime(start + t + 1e-6);
}

void GameFixture::sampleAt(double t, double x, double y, double z)
{
    at(t, [this, x, y, z] { sampleNow(x, y, z); });
}

void GameFixture::sampleNow(double x, double y, double z)
{
    view->accelerometerDidAccelerate(platform::Accelerometer::shared(), platform::Acceleration{x, y, z, loop->now()});
}

void GameFixture::putMeterAt(double y)
{
    auto c = view->meter()->center();
    view->meter()->setCenter({c.x, static_cast<platform::Float>(y)});
}

double GameFixture::meterY() const
{
    return view->meter()->center().y;
}

} // namespace brimsey::test
