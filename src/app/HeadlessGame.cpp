#include "app/HeadlessGame.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "app/AdHosting.h"
#include "app/GameClasses.h"
#include "app/MainView.h"
#include "app/Resources.h"
#include "app/ScriptedRun.h"
#include "platform/backend/headless/HeadlessRunner.h"
#include "platform/backend/headless/ScriptedAccelerationSource.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/ui/Application.h"

namespace brimsey {

HeadlessGame::HeadlessGame(const HeadlessOptions& options, std::ostream& err) : m_options(options), m_err(err)
{
}

HeadlessGame::~HeadlessGame()
{
    // The script lives on the runner's loop: it goes first.
    m_script.reset();
    m_runner.reset();
}

int HeadlessGame::launch()
{
    // OpenAL Soft picks its output at the first call: without a sound card only the null
    // output opens. A driver chosen in the environment is kept.
    ::setenv("ALSOFT_DRIVERS", "null", 0);

    // Bad input is refused before anything runs.
    if (!m_options.accelFile.empty()) {
        platform::ScriptedAccelerationSource check;
        std::string error;
        if (!check.loadFile(m_options.accelFile, &error)) {
            m_err << "brimsey: " << error << "\n";
            return 2;
        }
    }
    if (!m_options.documentsDirectory.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(m_options.documentsDirectory, ec);
        if (!std::filesystem::is_directory(m_options.documentsDirectory)) {
            m_err << "brimsey: --documents " << m_options.documentsDirectory << ": not a folder that can be made"
                  << (ec ? ": " + ec.message() : std::string()) << "\n";
            return 2;
        }
        platform::setDocumentsDirectory(m_options.documentsDirectory);
    }
    m_script = std::make_unique<ScriptedRun>(m_options, m_err);
    if (!m_script->openLog())
        return 2;

    registerGameClasses();
    setAdsEnabled(m_options.ads);
    m_runner = std::make_unique<platform::HeadlessRunner>();
    m_script->listen(m_runner->loop(), m_options.ads);
    platform::HeadlessRunner::Options launch;
    launch.interfaceFile = pathForResource("MainWindow", "json");
    launch.resourceDirectory = resourceDirectory();
    launch.scale = m_options.scale;
    launch.accelerometerScript = m_options.accelFile;
    std::string error;
    if (!m_runner->launch(launch, &error)) {
        m_err << "brimsey: cannot launch: " << error << "\n";
        return 1;
    }
    if (!std::dynamic_pointer_cast<MainView>(platform::Application::shared().objectNamed("gameView"))) {
        m_err << "brimsey: the interface description has no game view\n";
        return 1;
    }
    auto* runner = m_runner.get();
    auto writer = [runner](const std::filesystem::path& png, std::string* why) {
        return runner->writeSnapshot(png, why);
    };
    if (!m_script->start(runner->startTime(), writer))
        return 1;
    return 0;
}

int HeadlessGame::run()
{
    m_runner->runFor(m_options.runFor);
    return m_script->finish();
}

int runHeadless(const HeadlessOptions& options, std::ostream& err)
{
    HeadlessGame game(options, err);
    if (int status = game.launch())
        return status;
    return game.run();
}

} // namespace brimsey
