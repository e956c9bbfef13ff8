#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/InterfaceRegistry.h"

namespace platform {

// What a loaded interface description made.
struct Interface {
    // Every object, in the order they were made (parents before children).
    std::vector<std::shared_ptr<Object>> objects;
    std::map<std::string, std::shared_ptr<Object>> byId;
    // The object the description names as the application's delegate, if any.
    std::shared_ptr<Object> delegate;

    std::shared_ptr<Object> find(const std::string& id) const
    {
        auto it = byId.find(id);
        return it == byId.end() ? nullptr : it->second;
    }
};

// Reads an interface description: a JSON object
//
//   { "delegate": "appDelegate",
//     "objects": [ { "id": "appDelegate", "class": "brimseyAppDelegate",
//                    "outlets": { "window": "window" } },
//                  { "id": "window", "class": "Window", "frame": [0, 0, 320, 480],
//                    "subviews": [ ... ] } ] }
//
// Each object has a "class" (registered in the InterfaceRegistry) and optionally an "id",
// "outlets" ({ name: id }) and the properties of its kind:
//   views:      frame [x, y, w, h], center [x, y], alpha, hidden, tag, opaque,
//               backgroundColor ([r, g, b] or [r, g, b, a], 0..1), clipsToBounds,
//               userInteractionEnabled, autoresizingMask, subviews [objects]
//   ImageView:  image "file.png" (its "@2x" variant is used on 2x screens), contentMode
//               ("scaleToFill", "scaleAspectFit", "scaleAspectFill", "center", "topLeft")
//   Control:    enabled, actions [{ "event": "touchUpInside", "target": id, "action": name }]
//   Button:     image, highlightedImage, disabledImage, backgroundImage, title,
//               titleColor, font { "name": "Helvetica-Bold", "size": 15 },
//               adjustsImageWhenHighlighted, adjustsImageWhenDisabled
//   Window:     rootViewController id
//   ViewController: view (an object, or the id of one)
// Image files are found next to the description. Unknown classes, properties, ids,
// outlets and actions are errors: nothing is half-loaded. Once every object is made and
// connected, awakeFromNib runs on each, in the order they were made.
class InterfaceLoader final {
public:
    explicit InterfaceLoader(const InterfaceRegistry& registry = InterfaceRegistry::shared());

    // Scale for choosing image variants (default: the main screen's).
    void setDisplayScale(double scale) { m_scale = scale; }

    std::optional<Interface> loadFile(const std::filesystem::path& file, std::string* error = nullptr);
    std::optional<Interface> loadText(std::string_view json, const std::filesystem::path& imageDirectory,
                                      std::string* error = nullptr);

    // Descriptions are small; anything bigger than this is refused.
    static constexpr std::size_t kMaxFileSize = 4u * 1024 * 1024;

private:
    const InterfaceRegistry& m_registry;
    double m_scale{0};
};

} // namespace platform
