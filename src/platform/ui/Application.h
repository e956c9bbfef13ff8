#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Object.h"

namespace platform {

class Application;
class Window;

// The application's delegate: hears that launching is done (the interface description
// is loaded and every awakeFromNib has run).
class ApplicationDelegate : public Object {
public:
    virtual void applicationDidFinishLaunching(Application&) { }
    virtual void applicationWillTerminate(Application&) { }
};

// The application object: loads the main interface description, hands control to its
// delegate and runs the main run loop. One per process.
class Application final {
public:
    static Application& shared();

    // Loads the interface description (see InterfaceLoader), keeps its objects, makes its
    // "delegate" object the application's delegate, then calls
    // applicationDidFinishLaunching. Returns false with a reason when the description
    // cannot be loaded; nothing is called then.
    bool launch(const std::filesystem::path& interfaceFile, std::string* error = nullptr);
    // Launches with a delegate made in code, without a description.
    bool launch(std::shared_ptr<ApplicationDelegate> delegate, std::string* error = nullptr);
    bool isLaunched() const { return m_launched; }

    // Runs the main run loop until terminate().
    void run();
    // Tells the delegate, then stops the run loop.
    void terminate();

    std::shared_ptr<ApplicationDelegate> delegate() const { return m_delegate; }
    std::shared_ptr<Window> keyWindow() const { return m_keyWindow; }
    void setKeyWindow(std::shared_ptr<Window> window) { m_keyWindow = std::move(window); }
    // An object of the loaded description by its id, or null.
    std::shared_ptr<Object> objectNamed(const std::string& id) const;

    // Forgets everything (for tests that launch more than once in one process).
    void reset();

private:
    Application() = default;
    bool finishLaunching(std::string* error);

    bool m_launched{false};
    std::shared_ptr<ApplicationDelegate> m_delegate;
    std::shared_ptr<Window> m_keyWindow;
    std::map<std::string, std::shared_ptr<Object>> m_named;
    std::vector<std::shared_ptr<Object>> m_objects;
};

// The usual main: launches from the description and runs until terminated. Returns the
// process exit status; a description that cannot be loaded is reported on stderr.
int applicationMain(const std::filesystem::path& interfaceFile);

} // namespace platform
