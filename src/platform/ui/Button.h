#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Font.h"
#include "platform/ui/Control.h"

namespace platform {

class Image;

// A control that shows an image, a background image and a title per state, falling
// back to the normal state's. With no highlighted image it darkens while pressed; with no
// disabled image it fades while disabled.
class Button : public Control {
public:
    static std::shared_ptr<Button> create(const Rect& frame = {});

    void setImage(std::shared_ptr<Image> image, unsigned state = StateNormal);
    void setBackgroundImage(std::shared_ptr<Image> image, unsigned state = StateNormal);
    void setTitle(std::optional<std::string> title, unsigned state = StateNormal);
    void setTitleColor(Color color, unsigned state = StateNormal);
    void setFont(const Font& font);

    std::shared_ptr<Image> imageForState(unsigned state) const;
    std::shared_ptr<Image> backgroundImageForState(unsigned state) const;
    std::optional<std::string> titleForState(unsigned state) const;
    Color titleColorForState(unsigned state) const;
    std::shared_ptr<Image> currentImage() const { return imageForState(state()); }
    const Font& font() const { return m_font; }

    bool adjustsImageWhenHighlighted() const { return m_adjustHighlighted; }
    void setAdjustsImageWhenHighlighted(bool adjust);
    bool adjustsImageWhenDisabled() const { return m_adjustDisabled; }
    void setAdjustsImageWhenDisabled(bool adjust);

    void draw(Canvas& canvas, const Rect& dirty) override;
    // A push button named by its title unless described otherwise.
    Accessibility accessibility() const override;

protected:
    explicit Button(const Rect& frame);

private:
    template <class T> static std::optional<T> lookup(const std::map<unsigned, T>& map, unsigned state);
    void drawAdjusted(Canvas& canvas, const Image& image, const Rect& r, bool fromNormal) const;

    std::map<unsigned, std::shared_ptr<Image>> m_images;
    std::map<unsigned, std::shared_ptr<Image>> m_backgrounds;
    std::map<unsigned, std::optional<std::string>> m_titles;
    std::map<unsigned, Color> m_titleColors;
    Font m_font{Font::boldSystem(15)};
    bool m_adjustHighlighted{true};
    bool m_adjustDisabled{true};
};

} // namespace platform
