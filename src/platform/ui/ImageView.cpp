#include "platform/ui/ImageView.h"

#include <algorithm>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"

namespace platform {

std::shared_ptr<ImageView> ImageView::create(const Rect& frame)
{
    return std::shared_ptr<ImageView>(new ImageView(frame));
}

std::shared_ptr<ImageView> ImageView::create(std::shared_ptr<Image> image)
{
    Size size = image ? image->size() : Size{};
    auto view = create(Rect{{0, 0}, size});
    view->setImage(std::move(image));
    return view;
}

ImageView::ImageView(const Rect& frame) : View(frame)
{
    setUserInteractionEnabled(false);
    setOpaque(false);
}

void ImageView::setImage(std::shared_ptr<Image> image)
{
    if (image == m_image)
        return;
    m_image = std::move(image);
    notify(ViewChange::Content);
}

void ImageView::setContentMode(ContentMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    notify(ViewChange::Content);
}

void ImageView::draw(Canvas& canvas, const Rect&)
{
    if (!m_image)
        return;
    const Rect b = bounds();
    const Size s = m_image->size();
    if (s.width <= 0 || s.height <= 0)
        return;
    Rect r = b;
    switch (m_mode) {
    case ContentMode::ScaleToFill:
        break;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        double sx = double(b.width()) / s.width, sy = double(b.height()) / s.height;
        double k = m_mode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
        Float w = Float(s.width * k), h = Float(s.height * k);
        r = {b.x() + (b.width() - w) / 2, b.y() + (b.height() - h) / 2, w, h};
        break;
    }
    case ContentMode::Center:
        r = {b.x() + (b.width() - s.width) / 2, b.y() + (b.height() - s.height) / 2, s.width, s.height};
        break;
    case ContentMode::TopLeft:
        r = {b.origin, s};
        break;
    }
    canvas.drawImage(*m_image, r);
}

} // namespace platform
