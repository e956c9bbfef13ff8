#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Animation.h"

namespace platform {

class Image;
class View;

// A drawn rectangle with optional image contents, a transform about its centre, opacity
// and sublayers. Every view has one (View::layer()); its sublayers are drawn over the
// view's own drawing and under its subviews, in the view's coordinates.
class Layer final : public std::enable_shared_from_this<Layer> {
public:
    static std::shared_ptr<Layer> create();
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // Geometry: `position` is the centre in the superlayer's coordinates, `bounds` the
    // layer's own coordinate space. The frame is the box around the transformed bounds.
    Rect bounds() const { return m_bounds; }
    void setBounds(const Rect& bounds);
    Point position() const { return m_position; }
    void setPosition(Point position);
    Rect frame() const;
    // Sets position and bounds size; the transform is left alone.
    void setFrame(const Rect& frame);
    Transform transform() const { return m_transform; }
    void setTransform(const Transform& transform);

    Float opacity() const { return m_opacity; }
    void setOpacity(Float opacity);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    std::optional<Color> backgroundColor() const { return m_background; }
    void setBackgroundColor(std::optional<Color> color);
    // Drawn scaled into the bounds.
    std::shared_ptr<Image> contents() const { return m_contents; }
    void setContents(std::shared_ptr<Image> image);

    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
    // Replaces every sublayer; an empty list removes them all.
    void setSublayers(std::vector<std::shared_ptr<Layer>> layers);
    void removeFromSuperlayer();
    std::shared_ptr<Layer> superlayer() const { return m_superlayer.lock(); }
    // The view whose own layer this is, or whose layer tree this layer is in.
    std::shared_ptr<View> hostView() const;

    // Animations by key; a second animation under the same key replaces the first (which
    // then stops unfinished). See LayerAnimation.
    void addAnimation(const std::shared_ptr<LayerAnimation>& animation, const std::string& key);
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    // The running copy under `key`, or null.
    std::shared_ptr<LayerAnimation> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;

    // What is drawn at loop time `now`.
    Transform presentationTransform(double now) const;
    Float presentationOpacity(double now) const;
    Point presentationPosition(double now) const;
    std::optional<Color> presentationBackgroundColor(double now) const;
    // Whether an animation of this layer or a sublayer is still running at `now`.
    bool hasRunningAnimations(double now) const;

    void setNeedsDisplay();

private:
    friend class View;
    Layer() = default;

    struct Running {
        std::string key;
        std::shared_ptr<LayerAnimation> animation;
        double start{0};
        RunLoop::EventId endEvent{0};
        std::weak_ptr<RunLoop> loop;
    };
    // The running animation of a key path showing at `now` (the latest added wins).
    const Running* showing(const std::string& keyPath, double now) const;
    void finish(const std::shared_ptr<LayerAnimation>& animation);
    void stop(Running running, bool finished);
    void adopt(const std::shared_ptr<Layer>& layer);

    Rect m_bounds;
    Point m_position;
    Transform m_transform;
    Float m_opacity{1};
    bool m_hidden{false};
    std::optional<Color> m_background;
    std::shared_ptr<Image> m_contents;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    std::weak_ptr<Layer> m_superlayer;
    std::weak_ptr<View> m_hostView;
    std::vector<Running> m_animations;
};

} // namespace platform
