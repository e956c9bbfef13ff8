#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/ui/Object.h"

namespace platform {

// The classes an interface description may name, with their outlets (set by name) and
// actions (methods called by name). The platform's own classes are there from the start:
// Object, View, ImageView, Control, Button, Window, ViewController.
//
//   InterfaceRegistry::shared().registerClass<MainView>("MainView", "View")
//       .outlet("meter", &MainView::setMeter)
//       .action("clickstart", &MainView::clickstart);
class InterfaceRegistry final {
public:
    using Factory = std::function<std::shared_ptr<Object>()>;
    // Returns false when the value is not of the outlet's type.
    using OutletSetter = std::function<bool(Object& owner, const std::shared_ptr<Object>& value)>;
    using ActionMethod = std::function<void(Object& target, Object& sender)>;

    static InterfaceRegistry& shared();
    InterfaceRegistry();

    template <class T> class Registration {
    public:
        template <class U> Registration& outlet(const std::string& name, void (T::*setter)(std::shared_ptr<U>))
        {
            m_registry.addOutlet(m_class, name, [setter](Object& owner, const std::shared_ptr<Object>& value) {
                auto* self = dynamic_cast<T*>(&owner);
                auto typed = std::dynamic_pointer_cast<U>(value);
                if (!self || (value && !typed))
                    return false;
                (self->*setter)(std::move(typed));
                return true;
            });
            return *this;
        }
        Registration& action(const std::string& name, void (T::*method)())
        {
            m_registry.addAction(m_class, name, [method](Object& target, Object&) {
                if (auto* self = dynamic_cast<T*>(&target))
                    (self->*method)();
            });
            return *this;
        }
        Registration& action(const std::string& name, void (T::*method)(Object& sender))
        {
            m_registry.addAction(m_class, name, [method](Object& target, Object& sender) {
                if (auto* self = dynamic_cast<T*>(&target))
                    (self->*method)(sender);
            });
            return *this;
        }

    private:
        friend class InterfaceRegistry;
        Registration(InterfaceRegistry& registry, std::string name) : m_registry(registry), m_class(std::move(name)) { }
        InterfaceRegistry& m_registry;
        std::string m_class;
    };

    // Registers (or replaces) a class. `base` names the registered class whose outlets
    // and actions it inherits. Without a factory, T must be default-constructible.
    template <class T>
    Registration<T> registerClass(const std::string& name, const std::string& base = "Object",
                                  Factory factory = nullptr)
    {
        if (!factory)
            factory = [] { return std::shared_ptr<Object>(std::make_shared<T>()); };
        addClass(name, base, std::move(factory));
        return Registration<T>(*this, name);
    }

    void addClass(const std::string& name, const std::string& base, Factory factory);
    void addOutlet(const std::string& className, const std::string& outlet, OutletSetter setter);
    void addAction(const std::string& className, const std::string& action, ActionMethod method);

    bool hasClass(const std::string& name) const { return m_classes.count(name) > 0; }
    std::shared_ptr<Object> create(const std::string& name) const;
    // Looked up along the class and its bases; null when none has it.
    const OutletSetter* findOutlet(const std::string& className, const std::string& outlet) const;
    const ActionMethod* findAction(const std::string& className, const std::string& action) const;

private:
    struct ClassInfo {
        std::string base;
        Factory factory;
        std::map<std::string, OutletSetter> outlets;
        std::map<std::string, ActionMethod> actions;
    };
    const ClassInfo* find(const std::string& name) const;

    std::map<std::string, ClassInfo> m_classes;
};

} // namespace platform
