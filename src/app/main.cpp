// brimsey: the shake game. Without options it opens the game's window; `brimsey --headless
// ...` plays it on a virtual clock without a display. Both take a script of touches,
// snapshots and an event log.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/AdHosting.h"
#include "app/GameClasses.h"
#include "app/HeadlessGame.h"
#include "app/HeadlessOptions.h"
#include "app/Resources.h"
#include "app/ScriptedRun.h"
#include "app/SoundRest.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Image.h"
#if BRIMSEY_WINDOWED
#include "platform/backend/gtk/DesktopApplication.h"
#endif

namespace {

#if BRIMSEY_WINDOWED
int runWindowed(const brimsey::HeadlessOptions& options)
{
    if (!options.documentsDirectory.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.documentsDirectory, ec);
        if (!std::filesystem::is_directory(options.documentsDirectory)) {
            std::cerr << "brimsey: --documents " << options.documentsDirectory << ": not a folder that can be made\n";
            return 2;
        }
        platform::setDocumentsDirectory(options.documentsDirectory);
    }
    brimsey::ScriptedRun script(options, std::cerr);
    if (!script.openLog())
        return 2;
    // Someone may read the log while the window runs.
    script.setFlushEachLine(true);

    brimsey::registerGameClasses();
    brimsey::setAdsEnabled(true); // the window always hosts the banner
    platform::gtk::DesktopOptions desktop;
    desktop.interfaceFile = brimsey::pathForResource("MainWindow", "json");
    desktop.resourceDirectory = brimsey::resourceDirectory();
    bool started = true;
    // The desktop drives the application's main loop; the first ad request goes out
    // during the launch, before t = 0.
    auto& loop = platform::RunLoop::main();
    script.listen(loop, true);
    desktop.started = [&](platform::gtk::DesktopSession& session) {
        auto writer = [&session](const std::filesystem::path& png, std::string* error) {
            auto image = session.snapshot();
            if (!image) {
                if (error)
                    *error = "cannot draw the window";
                return false;
            }
            std::error_code ec;
            if (png.has_parent_path())
                std::filesystem::create_directories(png.parent_path(), ec);
            return image->writePNG(png, error);
        };
        if (!script.start(loop.now(), writer)) {
            started = false;
            session.close();
            return;
        }
        if (options.runFor >= 0)
            // After a snapshot due at the same moment, which is posted when its time comes.
            script.at(options.runFor, [&session] { platform::RunLoop::main().post([&session] { session.close(); }); });
    };
    // An idle window should not keep the machine awake: the sound output rests while
    // nothing sounds (the accelerometer rests on its own through a long stillness).
    // BRIMSEY_NO_IDLE_REST=1 keeps both awake, to measure what resting saves.
    const char* noRest = std::getenv("BRIMSEY_NO_IDLE_REST");
    desktop.idleRest = !noRest || std::string_view(noRest) != "1";
    std::unique_ptr<brimsey::SoundRest> soundRest;
    desktop.started = [&, start = desktop.started](platform::gtk::DesktopSession& session) {
        if (desktop.idleRest)
            soundRest = std::make_unique<brimsey::SoundRest>();
        start(session);
    };
    desktop.stopped = [&] {
        soundRest.reset();
        script.finish();
    };
    int status = platform::gtk::runDesktopApplication(desktop);
    if (status != 0)
        return status;
    if (!started)
        return 1;
    return script.finish();
}
#endif

} // namespace

int main(int argc, char** argv)
{
    // Only the messages' language follows the environment (LANGUAGE, LC_MESSAGES, LANG):
    // numbers in logs and files keep the C locale's decimal point.
    std::setlocale(LC_MESSAGES, "");
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
    return runWindowed(*options);
#else
    std::cerr << "brimsey: this build has no window (built without GTK); run it with "
                 "--headless (see --help)\n";
    return 1;
#endif
}
