#include "platform/ui/Layer.h"

#include <algorithm>

#include "platform/ui/AnimationInternal.h"
#include "platform/ui/View.h"

namespace platform {

std::shared_ptr<Layer> Layer::create()
{
    return std::shared_ptr<Layer>(new Layer());
}

Layer::~Layer()
{
    for (auto& sub : m_sublayers)
        sub->m_superlayer.reset();
}

void Layer::setBounds(const Rect& bounds)
{
    if (bounds == m_bounds)
        return;
    m_bounds = bounds;
    setNeedsDisplay();
}

void Layer::setPosition(Point position)
{
    if (position == m_position)
        return;
    m_position = position;
    setNeedsDisplay();
}

Rect Layer::frame() const
{
    // The bounds, centred on the origin, transformed, then moved to the position.
    Rect centred{-m_bounds.width() / 2, -m_bounds.height() / 2, m_bounds.width(), m_bounds.height()};
    return m_transform.apply(centred).offsetBy(m_position.x, m_position.y);
}

void Layer::setFrame(const Rect& frame)
{
    m_position = frame.center();
    m_bounds.size = {frame.maxX() - frame.minX(), frame.maxY() - frame.minY()};
    setNeedsDisplay();
}

void Layer::setTransform(const Transform& transform)
{
    if (transform == m_transform)
        return;
    m_transform = transform;
    setNeedsDisplay();
}

void Layer::setOpacity(Float opacity)
{
    opacity = std::clamp<Float>(opacity, 0, 1);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    setNeedsDisplay();
}

void Layer::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    setNeedsDisplay();
}

void Layer::setBackgroundColor(std::optional<Color> color)
{
    if (color == m_background)
        return;
    m_background = color;
    setNeedsDisplay();
}

void Layer::setContents(std::shared_ptr<Image> image)
{
    m_contents = std::move(image);
    setNeedsDisplay();
}

void Layer::adopt(const std::shared_ptr<Layer>& layer)
{
    if (auto old = layer->superlayer()) {
        std::erase(old->m_sublayers, layer);
        old->setNeedsDisplay();
    }
    layer->m_superlayer = weak_from_this();
}

void Layer::addSublayer(std::shared_ptr<Layer> layer)
{
    insertSublayer(std::move(layer), m_sublayers.size());
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index)
{
    if (!layer || layer.get() == this)
        return;
    for (auto p = superlayer(); p; p = p->superlayer())
        if (p == layer)
            return; // an ancestor cannot become a sublayer
    auto keep = layer;
    adopt(layer);
    index = std::min(index, m_sublayers.size());
    m_sublayers.insert(m_sublayers.begin() + std::ptrdiff_t(index), std::move(keep));
    setNeedsDisplay();
}

void Layer::setSublayers(std::vector<std::shared_ptr<Layer>> layers)
{
    // Let go of the old ones first, then adopt the new list in its order.
    for (auto& sub : m_sublayers)
        sub->m_superlayer.reset();
    m_sublayers.clear();
    for (auto& layer : layers)
        if (layer && layer.get() != this &&
            std::find(m_sublayers.begin(), m_sublayers.end(), layer) == m_sublayers.end()) {
            adopt(layer);
            m_sublayers.push_back(layer);
        }
    setNeedsDisplay();
}

void Layer::removeFromSuperlayer()
{
    auto parent = superlayer();
    if (!parent)
        return;
    auto keep = shared_from_this();
    std::erase(parent->m_sublayers, keep);
    m_superlayer.reset();
    parent->setNeedsDisplay();
}

std::shared_ptr<View> Layer::hostView() const
{
    const Layer* l = this;
    for (auto p = l->superlayer(); p; p = l->superlayer())
        l = p.get();
    return l->m_hostView.lock();
}

void Layer::setNeedsDisplay()
{
    if (auto view = hostView())
        view->setNeedsDisplay();
}

// ---- animations -------------------------------------------------------------------------

void Layer::addAnimation(const std::shared_ptr<LayerAnimation>& animation, const std::string& key)
{
    if (!animation)
        return;
    removeAnimation(key);
    auto copy = animation->clone();
    // With animations off the effect ends at once, and its delegate still hears of both ends.
    if (!ViewAnimation::animationsEnabled())
        copy->setDuration(0);
    auto loop = RunLoop::mainShared();
    loop->post([copy] {
        if (auto delegate = copy->delegate())
            delegate->animationDidStart(*copy);
    });
    Running running;
    running.key = key;
    running.animation = copy;
    running.start = loop->now();
    running.loop = loop;
    std::weak_ptr<Layer> weak = weak_from_this();
    running.endEvent = loop->scheduleAt(running.start + copy->duration(), [weak, copy] {
        if (auto layer = weak.lock()) {
            layer->finish(copy);
            return;
        }
        // The layer is gone: the animation ends unfinished, but its delegate still hears.
        if (auto delegate = copy->delegate())
            delegate->animationDidStop(*copy, false);
    });
    detail::registerActive({running.start + copy->duration(), {}, weak});
    m_animations.push_back(std::move(running));
    setNeedsDisplay();
}

void Layer::finish(const std::shared_ptr<LayerAnimation>& animation)
{
    auto it = std::find_if(m_animations.begin(), m_animations.end(),
                           [&](const Running& r) { return r.animation == animation; });
    if (it == m_animations.end())
        return;
    it->endEvent = 0;
    if (animation->removedOnCompletion())
        m_animations.erase(it);
    setNeedsDisplay();
    auto keep = shared_from_this(); // the delegate may drop this layer
    if (auto delegate = animation->delegate())
        delegate->animationDidStop(*animation, true);
}

void Layer::stop(Running running, bool finished)
{
    auto loop = running.loop.lock();
    if (!loop || !running.endEvent)
        return; // already over: its delegate has heard
    loop->cancel(running.endEvent);
    // Reported on the run loop, as the end would have been.
    loop->post([animation = running.animation, finished] {
        if (auto delegate = animation->delegate())
            delegate->animationDidStop(*animation, finished);
    });
}

void Layer::removeAnimation(const std::string& key)
{
    auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const Running& r) { return r.key == key; });
    if (it == m_animations.end())
        return;
    Running running = std::move(*it);
    m_animations.erase(it);
    stop(std::move(running), false);
    setNeedsDisplay();
}

void Layer::removeAllAnimations()
{
    auto all = std::move(m_animations);
    m_animations.clear();
    for (auto& running : all)
        stop(std::move(running), false);
    setNeedsDisplay();
}

std::shared_ptr<LayerAnimation> Layer::animationForKey(const std::string& key) const
{
    for (const auto& r : m_animations)
        if (r.key == key)
            return r.animation;
    return nullptr;
}

std::vector<std::string> Layer::animationKeys() const
{
    std::vector<std::string> keys;
    for (const auto& r : m_animations)
        keys.push_back(r.key);
    return keys;
}

const Layer::Running* Layer::showing(const std::string& keyPath, double now) const
{
    for (auto it = m_animations.rbegin(); it != m_animations.rend(); ++it) {
        const auto& a = *it->animation;
        if (a.keyPath() == keyPath && now >= it->start && now < it->start + a.duration())
            return &*it;
    }
    return nullptr;
}

namespace {

double fractionAt(const LayerAnimation& a, double start, double now)
{
    if (a.duration() <= 0)
        return 1;
    return applyCurve(a.curve(), (now - start) / a.duration());
}

} // namespace

Transform Layer::presentationTransform(double now) const
{
    if (const Running* r = showing("transform", now)) {
        auto v = r->animation->valueAt(fractionAt(*r->animation, r->start, now), m_transform);
        if (auto t = std::get_if<Transform>(&v))
            return *t;
    }
    if (const Running* r = showing("transform.scale", now)) {
        auto v = r->animation->valueAt(fractionAt(*r->animation, r->start, now), m_transform.a);
        if (auto s = std::get_if<double>(&v))
            return Transform::scale(*s, *s);
    }
    return m_transform;
}

Float Layer::presentationOpacity(double now) const
{
    if (const Running* r = showing("opacity", now)) {
        auto v = r->animation->valueAt(fractionAt(*r->animation, r->start, now), double(m_opacity));
        if (auto o = std::get_if<double>(&v))
            return std::clamp<Float>(Float(*o), 0, 1);
    }
    return m_opacity;
}

Point Layer::presentationPosition(double now) const
{
    if (const Running* r = showing("position", now)) {
        auto v = r->animation->valueAt(fractionAt(*r->animation, r->start, now), m_position);
        if (auto p = std::get_if<Point>(&v))
            return *p;
    }
    return m_position;
}

std::optional<Color> Layer::presentationBackgroundColor(double now) const
{
    if (const Running* r = showing("backgroundColor", now)) {
        auto v = r->animation->valueAt(fractionAt(*r->animation, r->start, now), m_background.value_or(Color::clear()));
        if (auto c = std::get_if<Color>(&v))
            return *c;
    }
    return m_background;
}

bool Layer::hasRunningAnimations(double now) const
{
    for (const auto& r : m_animations)
        if (now < r.start + r.animation->duration())
            return true;
    for (const auto& sub : m_sublayers)
        if (sub->hasRunningAnimations(now))
            return true;
    return false;
}

} // namespace platform
