#include "platform/ui/InterfaceLoader.h"

#include <cmath>
#include <set>

#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "json/JSONDeserializer.h"

namespace platform {

namespace {

// Thrown inside the loader only; load*() turn it into an error string.
struct LoadError {
    std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw LoadError{where + ": " + what};
}

struct PendingOutlet {
    std::shared_ptr<Object> owner;
    std::string className;
    std::string name;
    std::string target;
    std::string where;
};

struct PendingAction {
    std::shared_ptr<Control> control;
    unsigned events;
    std::string target;
    std::string action;
    std::string where;
};

class Builder {
public:
    Builder(const InterfaceRegistry& registry, std::filesystem::path imageDirectory, double scale)
        : m_registry(registry),
          m_images(std::move(imageDirectory)),
          m_scale(scale)
    {
    }

    Interface build(const json::Value& root)
    {
        if (!root.isDictionary())
            fail("interface", "the description must be a JSON object");
        for (const auto& entry : root.entries()) {
            std::string key = entry.key.utf8();
            if (key != "objects" && key != "delegate" && key != "format")
                fail("interface", "unknown key \"" + key + "\"");
        }
        auto objects = root["objects"];
        if (!objects.isArray())
            fail("interface", "\"objects\" must be an array of objects");
        for (std::size_t i = 0; i < objects.count(); ++i)
            make(objects[i], "objects[" + std::to_string(i) + "]");
        connect();
        if (auto delegate = root["delegate"]) {
            if (!delegate.isString())
                fail("interface", "\"delegate\" must be the id of an object");
            m_result.delegate = lookup(delegate.utf8(), "interface: delegate");
        }
        return std::move(m_result);
    }

private:
    // ---- values ---------------------------------------------------------------------

    static std::string describe(const std::string& where, const std::string& key) { return where + "." + key; }

    double number(const json::Value& v, const std::string& where)
    {
        if (!v.isNumber() || !std::isfinite(v.number()))
            fail(where, "must be a number");
        return v.number();
    }

    bool boolean(const json::Value& v, const std::string& where)
    {
        if (!v.isBoolean())
            fail(where, "must be true or false");
        return v.boolean();
    }

    std::string string(const json::Value& v, const std::string& where)
    {
        if (!v.isString())
            fail(where, "must be a string");
        return v.utf8();
    }

    std::vector<Float> numbers(const json::Value& v, std::size_t count, const std::string& where)
    {
        if (!v.isArray() || v.count() != count)
            fail(where, "must be an array of " + std::to_string(count) + " numbers");
        std::vector<Float> out;
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(Float(number(v[i], where)));
        return out;
    }

    Color color(const json::Value& v, const std::string& where)
    {
        if (!v.isArray() || (v.count() != 3 && v.count() != 4))
            fail(where, "must be [red, green, blue] or [red, green, blue, alpha], each 0 to 1");
        float c[4] = {0, 0, 0, 1};
        for (std::size_t i = 0; i < v.count(); ++i) {
            double x = number(v[i], where);
            if (x < 0 || x > 1)
                fail(where, "colour components must be between 0 and 1");
            c[i] = float(x);
        }
        return Color::rgba(c[0], c[1], c[2], c[3]);
    }

    std::shared_ptr<Image> image(const json::Value& v, const std::string& where)
    {
        std::string name = string(v, where);
        if (name.empty() || name.find("..") != std::string::npos || name.front() == '/')
            fail(where, "\"" + name + "\" is not a file name in the resources");
        std::string reason;
        auto img = Image::loadVariant(m_images / name, m_scale, &reason);
        if (!img)
            fail(where, "cannot load image: " + reason);
        return img;
    }

    // ---- objects --------------------------------------------------------------------

    std::shared_ptr<Object> make(const json::Value& spec, const std::string& path)
    {
        if (!spec.isDictionary())
            fail(path, "must be an object");
        auto className = spec.stringForKey("class");
        if (!className)
            fail(path, "has no \"class\"");
        std::string where = path;
        if (auto id = spec.stringForKey("id"))
            where += " (id \"" + *id + "\")";
        if (!m_registry.hasClass(*className))
            fail(where, "unknown class \"" + *className + "\"");
        auto object = m_registry.create(*className);
        if (!object)
            fail(where, "class \"" + *className + "\" made no object");
        m_result.objects.push_back(object);
        m_classNames[object.get()] = *className;
        if (auto id = spec["id"]) {
            std::string name = string(id, describe(where, "id"));
            if (name.empty())
                fail(where, "an id must not be empty");
            if (!m_result.byId.emplace(name, object).second)
                fail(where, "the id \"" + name + "\" is used twice");
        }

        auto view = std::dynamic_pointer_cast<View>(object);
        auto imageView = std::dynamic_pointer_cast<ImageView>(object);
        auto control = std::dynamic_pointer_cast<Control>(object);
        auto button = std::dynamic_pointer_cast<Button>(object);
        auto window = std::dynamic_pointer_cast<Window>(object);
        auto controller = std::dynamic_pointer_cast<ViewController>(object);

        for (const auto& entry : spec.entries()) {
            const std::string key = entry.key.utf8();
            const json::Value& v = entry.value;
            const std::string at = describe(where, key);
            if (key == "class" || key == "id")
                continue;
            if (key == "outlets") {
                if (!v.isDictionary())
                    fail(at, "must map outlet names to ids");
                for (const auto& outlet : v.entries())
                    m_outlets.push_back({object, *className, outlet.key.utf8(),
                                         string(outlet.value, describe(at, outlet.key.utf8())), at});
                continue;
            }
            if (view && applyViewProperty(*view, key, v, at, where))
                continue;
            if (imageView && key == "image") {
                imageView->setImage(image(v, at));
                continue;
            }
            if (imageView && key == "contentMode") {
                imageView->setContentMode(contentMode(string(v, at), at));
                continue;
            }
            if (control && key == "enabled") {
                control->setEnabled(boolean(v, at));
                continue;
            }
            if (control && key == "actions") {
                addActions(control, v, at);
                continue;
            }
            if (button && applyButtonProperty(*button, key, v, at))
                continue;
            if (window && key == "rootViewController") {
                m_outlets.push_back({object, *className, "rootViewController", string(v, at), at});
                continue;
            }
            if (controller && key == "view") {
                if (v.isString()) {
                    m_outlets.push_back({object, *className, "view", v.utf8(), at});
                } else {
                    auto child = std::dynamic_pointer_cast<View>(make(v, at));
                    if (!child)
                        fail(at, "must be a view");
                    controller->setView(child);
                }
                continue;
            }
            fail(where, "unknown property \"" + key + "\" for class \"" + *className + "\"");
        }
        return object;
    }

    bool applyViewProperty(View& view, const std::string& key, const json::Value& v, const std::string& at,
                           const std::string& where)
    {
        if (key == "frame") {
            auto f = numbers(v, 4, at);
            if (f[2] < 0 || f[3] < 0)
                fail(at, "width and height must not be negative");
            view.setFrame({f[0], f[1], f[2], f[3]});
        } else if (key == "center") {
            auto c = numbers(v, 2, at);
            view.setCenter({c[0], c[1]});
        } else if (key == "alpha") {
            double a = number(v, at);
            if (a < 0 || a > 1)
                fail(at, "must be between 0 and 1");
            view.setAlpha(Float(a));
        } else if (key == "hidden") {
            view.setHidden(boolean(v, at));
        } else if (key == "tag") {
            double t = number(v, at);
            if (t != std::floor(t) || std::abs(t) > 2147483647.0)
                fail(at, "must be a whole number");
            view.setTag(int(t));
        } else if (key == "opaque") {
            view.setOpaque(boolean(v, at));
        } else if (key == "backgroundColor") {
            view.setBackgroundColor(color(v, at));
        } else if (key == "clipsToBounds") {
            view.setClipsToBounds(boolean(v, at));
        } else if (key == "userInteractionEnabled") {
            view.setUserInteractionEnabled(boolean(v, at));
        } else if (key == "autoresizingMask") {
            double m = number(v, at);
            if (m < 0 || m > 63 || m != std::floor(m))
                fail(at, "must be a whole number from 0 to 63");
            view.setAutoresizingMask(unsigned(m));
        } else if (key == "subviews") {
            if (!v.isArray())
                fail(at, "must be an array of views");
            for (std::size_t i = 0; i < v.count(); ++i) {
                std::string childPath = at + "[" + std::to_string(i) + "]";
                auto child = std::dynamic_pointer_cast<View>(make(v[i], childPath));
                if (!child)
                    fail(childPath, "must be a view");
                if (std::dynamic_pointer_cast<Window>(child))
                    fail(childPath, "a window cannot be a subview");
                view.addSubview(child);
            }
        } else {
            (void)where;
            return false;
        }
        return true;
    }

    bool applyButtonProperty(Button& button, const std::string& key, const json::Value& v, const std::string& at)
    {
        if (key == "image")
            button.setImage(image(v, at));
        else if (key == "highlightedImage")
            button.setImage(image(v, at), StateHighlighted);
        else if (key == "disabledImage")
            button.setImage(image(v, at), StateDisabled);
        else if (key == "backgroundImage")
            button.setBackgroundImage(image(v, at));
        else if (key == "title")
            button.setTitle(string(v, at));
        else if (key == "titleColor")
            button.setTitleColor(color(v, at));
        else if (key == "font") {
            if (!v.isDictionary())
                fail(at, "must be { \"name\": ..., \"size\": ... }");
            std::string name = string(v["name"], at + ".name");
            double size = number(v["size"], at + ".size");
            if (size <= 0 || size > 500)
                fail(at + ".size", "must be between 0 and 500 points");
            button.setFont(Font::named(name, Float(size)));
        } else if (key == "adjustsImageWhenHighlighted")
            button.setAdjustsImageWhenHighlighted(boolean(v, at));
        else if (key == "adjustsImageWhenDisabled")
            button.setAdjustsImageWhenDisabled(boolean(v, at));
        else
            return false;
        return true;
    }

    ContentMode contentMode(const std::string& name, const std::string& at)
    {
        if (name == "scaleToFill")
            return ContentMode::ScaleToFill;
        if (name == "scaleAspectFit")
            return ContentMode::ScaleAspectFit;
        if (name == "scaleAspectFill")
            return ContentMode::ScaleAspectFill;
        if (name == "center")
            return ContentMode::Center;
        if (name == "topLeft")
            return ContentMode::TopLeft;
        fail(at, "unknown content mode \"" + name + "\"");
    }

    unsigned controlEvent(const std::string& name, const std::string& at)
    {
        if (name == "touchUpInside")
            return TouchUpInside;
        if (name == "touchUpOutside")
            return TouchUpOutside;
        if (name == "touchDown")
            return TouchDown;
        if (name == "touchCancel")
            return TouchCancel;
        if (name == "valueChanged")
            return ValueChanged;
        fail(at, "unknown control event \"" + name + "\"");
    }

    void addActions(const std::shared_ptr<Control>& control, const json::Value& v, const std::string& at)
    {
        if (!v.isArray())
            fail(at, "must be an array of { \"event\", \"target\", \"action\" }");
        for (std::size_t i = 0; i < v.count(); ++i) {
            std::string where = at + "[" + std::to_string(i) + "]";
            const json::Value& a = v[i];
            if (!a.isDictionary())
                fail(where, "must be { \"event\", \"target\", \"action\" }");
            for (const auto& entry : a.entries()) {
                std::string key = entry.key.utf8();
                if (key != "event" && key != "target" && key != "action")
                    fail(where, "unknown key \"" + key + "\"");
            }
            unsigned events = TouchUpInside;
            if (auto e = a["event"])
                events = controlEvent(string(e, where + ".event"), where + ".event");
            m_actions.push_back({control, events, string(a["target"], where + ".target"),
                                 string(a["action"], where + ".action"), where});
        }
    }

    // ---- connections ----------------------------------------------------------------

    std::shared_ptr<Object> lookup(const std::string& id, const std::string& where)
    {
        auto found = m_result.find(id);
        if (!found)
            fail(where, "no object has the id \"" + id + "\"");
        return found;
    }

    void connect()
    {
        for (const auto& o : m_outlets) {
            auto target = lookup(o.target, o.where);
            if (o.name == "view") {
                if (auto controller = std::dynamic_pointer_cast<ViewController>(o.owner)) {
                    auto view = std::dynamic_pointer_cast<View>(target);
                    if (!view)
                        fail(o.where, "\"" + o.target + "\" is not a view");
                    controller->setView(view);
                    continue;
                }
            }
            if (o.name == "rootViewController") {
                if (auto window = std::dynamic_pointer_cast<Window>(o.owner)) {
                    auto controller = std::dynamic_pointer_cast<ViewController>(target);
                    if (!controller)
                        fail(o.where, "\"" + o.target + "\" is not a view controller");
                    window->setRootViewController(controller);
                    continue;
                }
            }
            const auto* setter = m_registry.findOutlet(o.className, o.name);
            if (!setter)
                fail(o.where, "class \"" + o.className + "\" has no outlet \"" + o.name + "\"");
            if (!(*setter)(*o.owner, target))
                fail(o.where, "\"" + o.target + "\" has the wrong type for the outlet \"" + o.name + "\"");
        }
        for (const auto& a : m_actions) {
            auto target = lookup(a.target, a.where);
            std::string targetClass = classOf(target);
            const auto* method = m_registry.findAction(targetClass, a.action);
            if (!method)
                fail(a.where, "class \"" + targetClass + "\" has no action \"" + a.action + "\"");
            // Both ends are held weakly: the control must not keep its target alive.
            std::weak_ptr<Object> weakTarget = target;
            auto call = *method;
            a.control->addAction(
                [weakTarget, call](Control& sender) {
                    if (auto t = weakTarget.lock())
                        call(*t, sender);
                },
                a.events);
        }
    }

    std::string classOf(const std::shared_ptr<Object>& object) const
    {
        auto it = m_classNames.find(object.get());
        return it == m_classNames.end() ? std::string() : it->second;
    }

    const InterfaceRegistry& m_registry;
    std::filesystem::path m_images;
    double m_scale;
    Interface m_result;
    std::map<const Object*, std::string> m_classNames;
    std::vector<PendingOutlet> m_outlets;
    std::vector<PendingAction> m_actions;
};

} // namespace

InterfaceLoader::InterfaceLoader(const InterfaceRegistry& registry) : m_registry(registry)
{
}

std::optional<Interface> InterfaceLoader::loadFile(const std::filesystem::path& file, std::string* error)
{
    std::string reason;
    auto text = fs::readFile(file.string(), kMaxFileSize, fs::Links::Follow, &reason);
    if (!text) {
        if (error)
            *error = file.string() + ": " + reason;
        return std::nullopt;
    }
    auto result = loadText(*text, file.parent_path(), &reason);
    if (!result && error)
        *error = file.string() + ": " + reason;
    return result;
}

std::optional<Interface> InterfaceLoader::loadText(std::string_view text, const std::filesystem::path& imageDirectory,
                                                   std::string* error)
{
    json::Error parseError;
    json::Value root = json::JSONDeserializer::deserializer().deserialize(text, &parseError);
    if (root.isNone()) {
        if (error) {
            *error = "not valid JSON";
            if (parseError.code)
                *error += " (error " + std::to_string(parseError.code) +
                          (parseError.description ? ": " + *parseError.description : std::string()) + ")";
        }
        return std::nullopt;
    }
    try {
        double scale = m_scale > 0 ? m_scale : Screen::main().scale();
        Builder builder(m_registry, imageDirectory, scale);
        Interface interface = builder.build(root);
        // Every object is made and connected: now each may finish setting itself up.
        for (const auto& object : interface.objects)
            object->awakeFromNib();
        return interface;
    } catch (const LoadError& e) {
        if (error)
            *error = e.message;
        return std::nullopt;
    }
}

} // namespace platform
