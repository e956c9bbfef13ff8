#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace platform {

class Image;

enum class ContentMode { ScaleToFill, ScaleAspectFit, ScaleAspectFill, Center, TopLeft };

// Shows one image in its bounds. It takes no touches unless asked to (like the phone
// platform's image view), so touches fall through to the view under it.
class ImageView : public View {
public:
    static std::shared_ptr<ImageView> create(const Rect& frame = {});
    // A view the size of the image, at the origin.
    static std::shared_ptr<ImageView> create(std::shared_ptr<Image> image);

    std::shared_ptr<Image> image() const { return m_image; }
    void setImage(std::shared_ptr<Image> image);
    ContentMode contentMode() const { return m_mode; }
    void setContentMode(ContentMode mode);

    void draw(Canvas& canvas, const Rect& dirty) override;

protected:
    explicit ImageView(const Rect& frame);

private:
    std::shared_ptr<Image> m_image;
    ContentMode m_mode{ContentMode::ScaleToFill};
};

} // namespace platform
