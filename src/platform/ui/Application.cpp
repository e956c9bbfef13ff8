#include "platform/ui/Application.h"

#include <cstdio>

#include "platform/core/RunLoop.h"
#include "platform/ui/InterfaceLoader.h"
#include "platform/ui/Window.h"

namespace platform {

Application& Application::shared()
{
    static Application application;
    return application;
}

bool Application::launch(const std::filesystem::path& interfaceFile, std::string* error)
{
    if (m_launched) {
        if (error)
            *error = "the application is already launched";
        return false;
    }
    InterfaceLoader loader;
    std::string reason;
    auto interface = loader.loadFile(interfaceFile, &reason);
    if (!interface) {
        if (error)
            *error = reason;
        return false;
    }
    auto delegate = std::dynamic_pointer_cast<ApplicationDelegate>(interface->delegate);
    if (!delegate) {
        if (error)
            *error = interfaceFile.string() + (interface->delegate ? ": the delegate is not an application delegate"
                                                                   : ": the description names no \"delegate\"");
        return false;
    }
    m_objects = std::move(interface->objects);
    m_named = std::move(interface->byId);
    m_delegate = std::move(delegate);
    return finishLaunching(error);
}

bool Application::launch(std::shared_ptr<ApplicationDelegate> delegate, std::string* error)
{
    if (m_launched || !delegate) {
        if (error)
            *error = m_launched ? "the application is already launched" : "no delegate";
        return false;
    }
    m_delegate = std::move(delegate);
    return finishLaunching(error);
}

bool Application::finishLaunching(std::string*)
{
    m_launched = true;
    auto delegate = m_delegate;
    delegate->applicationDidFinishLaunching(*this);
    return true;
}

void Application::run()
{
    RunLoop::main().run();
}

void Application::terminate()
{
    if (auto delegate = m_delegate)
        delegate->applicationWillTerminate(*this);
    RunLoop::main().quit();
}

std::shared_ptr<Object> Application::objectNamed(const std::string& id) const
{
    auto it = m_named.find(id);
    return it == m_named.end() ? nullptr : it->second;
}

void Application::reset()
{
    m_launched = false;
    m_keyWindow.reset();
    m_delegate.reset();
    m_named.clear();
    m_objects.clear();
}

int applicationMain(const std::filesystem::path& interfaceFile)
{
    std::string error;
    if (!Application::shared().launch(interfaceFile, &error)) {
        std::fprintf(stderr, "cannot launch: %s\n", error.c_str());
        return 1;
    }
    Application::shared().run();
    return 0;
}

} // namespace platform
