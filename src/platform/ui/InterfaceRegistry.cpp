#include "platform/ui/InterfaceRegistry.h"

#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {
// A plain object an interface description can make, to hold outlets of its own.
class PlainObject final : public Object { };
} // namespace

InterfaceRegistry& InterfaceRegistry::shared()
{
    static InterfaceRegistry registry;
    return registry;
}

InterfaceRegistry::InterfaceRegistry()
{
    addClass("Object", "", [] { return std::shared_ptr<Object>(std::make_shared<PlainObject>()); });
    addClass("View", "Object", [] { return std::shared_ptr<Object>(View::create()); });
    addClass("ImageView", "View", [] { return std::shared_ptr<Object>(ImageView::create()); });
    addClass("Control", "View", [] { return std::shared_ptr<Object>(Button::create()); });
    addClass("Button", "Control", [] { return std::shared_ptr<Object>(Button::create()); });
    addClass("Window", "View", [] { return std::shared_ptr<Object>(Window::create()); });
    addClass("ViewController", "Object", [] { return std::shared_ptr<Object>(ViewController::create()); });
}

void InterfaceRegistry::addClass(const std::string& name, const std::string& base, Factory factory)
{
    auto& info = m_classes[name];
    info.base = base == name ? std::string() : base;
    info.factory = std::move(factory);
}

void InterfaceRegistry::addOutlet(const std::string& className, const std::string& outlet, OutletSetter setter)
{
    m_classes[className].outlets[outlet] = std::move(setter);
}

void InterfaceRegistry::addAction(const std::string& className, const std::string& action, ActionMethod method)
{
    m_classes[className].actions[action] = std::move(method);
}

const InterfaceRegistry::ClassInfo* InterfaceRegistry::find(const std::string& name) const
{
    auto it = m_classes.find(name);
    return it == m_classes.end() ? nullptr : &it->second;
}

std::shared_ptr<Object> InterfaceRegistry::create(const std::string& name) const
{
    const ClassInfo* info = find(name);
    return info && info->factory ? info->factory() : nullptr;
}

const InterfaceRegistry::OutletSetter* InterfaceRegistry::findOutlet(const std::string& className,
                                                                     const std::string& outlet) const
{
    // Bounded walk: a registration mistake that makes a cycle must not hang the loader.
    std::string name = className;
    for (int depth = 0; depth < 64 && !name.empty(); ++depth) {
        const ClassInfo* info = find(name);
        if (!info)
            return nullptr;
        auto it = info->outlets.find(outlet);
        if (it != info->outlets.end())
            return &it->second;
        name = info->base;
    }
    return nullptr;
}

const InterfaceRegistry::ActionMethod* InterfaceRegistry::findAction(const std::string& className,
                                                                     const std::string& action) const
{
    std::string name = className;
    for (int depth = 0; depth < 64 && !name.empty(); ++depth) {
        const ClassInfo* info = find(name);
        if (!info)
            return nullptr;
        auto it = info->actions.find(action);
        if (it != info->actions.end())
            return &it->second;
        name = info->base;
    }
    return nullptr;
}

} // namespace platform
