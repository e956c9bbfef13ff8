#include "platform/ui/Button.h"

#include <cairo.h>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"

namespace platform {

namespace {
constexpr double kHighlightDarkening = 0.35;
constexpr Float kDisabledAlpha = 0.45f;
} // namespace

std::shared_ptr<Button> Button::create(const Rect& frame)
{
    return std::shared_ptr<Button>(new Button(frame));
}

Button::Button(const Rect& frame) : Control(frame)
{
    setOpaque(false);
}

template <class T> std::optional<T> Button::lookup(const std::map<unsigned, T>& map, unsigned state)
{
    // The exact state, then the state without highlight/selection, then normal.
    for (unsigned s : {state, state & StateDisabled, unsigned(StateNormal)}) {
        auto it = map.find(s);
        if (it != map.end())
            return it->second;
    }
    return std::nullopt;
}

void Button::setImage(std::shared_ptr<Image> image, unsigned state)
{
    m_images[state] = std::move(image);
    notify(ViewChange::Content);
}

void Button::setBackgroundImage(std::shared_ptr<Image> image, unsigned state)
{
    m_backgrounds[state] = std::move(image);
    notify(ViewChange::Content);
}

void Button::setTitle(std::optional<std::string> title, unsigned state)
{
    m_titles[state] = std::move(title);
    notify(ViewChange::Content);
}

void Button::setTitleColor(Color color, unsigned state)
{
    m_titleColors[state] = color;
    notify(ViewChange::Content);
}

void Button::setFont(const Font& font)
{
    m_font = font;
    notify(ViewChange::Content);
}

void Button::setAdjustsImageWhenHighlighted(bool adjust)
{
    m_adjustHighlighted = adjust;
    notify(ViewChange::Content);
}

void Button::setAdjustsImageWhenDisabled(bool adjust)
{
    m_adjustDisabled = adjust;
    notify(ViewChange::Content);
}

std::shared_ptr<Image> Button::imageForState(unsigned state) const
{
    return lookup(m_images, state).value_or(nullptr);
}

std::shared_ptr<Image> Button::backgroundImageForState(unsigned state) const
{
    return lookup(m_backgrounds, state).value_or(nullptr);
}

std::optional<std::string> Button::titleForState(unsigned state) const
{
    return lookup(m_titles, state).value_or(std::nullopt);
}

Color Button::titleColorForState(unsigned state) const
{
    return lookup(m_titleColors, state).value_or(Color::white(1));
}

void Button::drawAdjusted(Canvas& canvas, const Image& image, const Rect& r, bool fromNormal) const
{
    const unsigned s = state();
    const bool fade = fromNormal && m_adjustDisabled && (s & StateDisabled);
    const bool darken = fromNormal && m_adjustHighlighted && (s & StateHighlighted);
    canvas.save();
    if (fade)
        canvas.setAlpha(canvas.alpha() * kDisabledAlpha);
    canvas.drawImage(image, r);
    if (darken) {
        // Darken only where the image has ink: its alpha is the mask.
        cairo_t* cr = canvas.cairo();
        cairo_save(cr);
        cairo_translate(cr, r.x(), r.y());
        cairo_scale(cr, double(r.width()) / image.pixelWidth(), double(r.height()) / image.pixelHeight());
        cairo_set_source_rgba(cr, 0, 0, 0, kHighlightDarkening * canvas.alpha());
        cairo_mask_surface(cr, image.surface(), image.surfaceOriginX(), image.surfaceOriginY());
        cairo_restore(cr);
    }
    canvas.restore();
}

void Button::draw(Canvas& canvas, const Rect&)
{
    const unsigned s = state();
    const Rect b = bounds();
    if (auto background = backgroundImageForState(s))
        drawAdjusted(canvas, *background, b, !m_backgrounds.count(s));
    if (auto image = imageForState(s)) {
        // Centred at its own size, shrunk (keeping its shape) when it does not fit.
        Size size = image->size();
        double fit = std::min({1.0, double(b.width()) / std::max<Float>(size.width, 1e-3f),
                               double(b.height()) / std::max<Float>(size.height, 1e-3f)});
        Float w = Float(size.width * fit), h = Float(size.height * fit);
        Rect r{b.x() + (b.width() - w) / 2, b.y() + (b.height() - h) / 2, w, h};
        drawAdjusted(canvas, *image, r, !m_images.count(s));
    }
    if (auto title = titleForState(s); title && !title->empty()) {
        Size size = m_font.measure(*title, {b.width(), b.height()});
        canvas.save();
        canvas.setFillColor(titleColorForState(s));
        if ((s & StateDisabled) && !m_titleColors.count(s))
            canvas.setAlpha(canvas.alpha() * kDisabledAlpha);
        canvas.drawText(*title, Rect{b.x(), b.y() + (b.height() - size.height) / 2, b.width(), size.height}, m_font,
                        TextAlignment::Center);
        canvas.restore();
    }
}

Accessibility Button::accessibility() const
{
    Accessibility a = Control::accessibility();
    if (a.role == AccessibleRole::None)
        a.role = AccessibleRole::Button;
    if (a.label.empty())
        a.label = titleForState(StateNormal).value_or(std::string());
    return a;
}

} // namespace platform
