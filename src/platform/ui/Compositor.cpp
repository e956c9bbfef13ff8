#include "platform/ui/Compositor.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AnimationInternal.h"
#include "platform/ui/Layer.h"
#include "platform/ui/TurnedFace.h"
#include "platform/ui/Window.h"

namespace platform {

namespace detail {

std::shared_ptr<Image> renderViewForTransition(View& view, double scale, double now);

namespace {

// Which part of the tree a walk draws; `nativeSeen` counts the native views passed so far
// in paint order.
struct PassState {
    Compositor::Pass pass{Compositor::Pass::All};
    int nativeSeen{0};
    bool drawsNow() const
    {
        return pass == Compositor::Pass::All || (pass == Compositor::Pass::BelowNative) == (nativeSeen == 0);
    }
};

void drawView(Canvas& canvas, View& view, double now, PassState& state);
void drawOwnContent(Canvas& canvas, View& view, const Rect& bounds, double now);

void drawLayer(Canvas& canvas, const Layer& layer, double now)
{
    if (layer.isHidden())
        return;
    const Float opacity = layer.presentationOpacity(now);
    if (opacity <= 0)
        return;
    const Rect b = layer.bounds();
    const Point position = layer.presentationPosition(now);
    canvas.isolated([&] {
        canvas.translate(position.x, position.y);
        canvas.concat(layer.presentationTransform(now));
        canvas.translate(-b.width() / 2 - b.x(), -b.height() / 2 - b.y());
        cairo_t* cr = canvas.cairo();
        const bool group = opacity < 1;
        if (group)
            cairo_push_group(cr);
        if (auto color = layer.presentationBackgroundColor(now)) {
            canvas.setFillColor(*color);
            canvas.fillRect(b);
        }
        if (auto image = layer.contents())
            canvas.drawImage(*image, b);
        for (const auto& sub : layer.sublayers())
            drawLayer(canvas, *sub, now);
        if (group) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, opacity);
        }
    });
}

// Background, the view's own drawing, its layer's sublayers, its subviews; in the view's
// bounds coordinates.
void drawContent(Canvas& canvas, View& view, const Rect& bounds, double now, PassState& state)
{
    if (view.clipsToBounds())
        canvas.clipToRect(bounds);
    const bool native = state.pass != Compositor::Pass::All && view.showsNativeContent();
    if (!native && state.drawsNow())
        drawOwnContent(canvas, view, bounds, now);
    if (native)
        ++state.nativeSeen;
    // A copy: a drawing routine must not be able to pull the list from under us.
    auto subviews = view.subviews();
    for (const auto& sub : subviews)
        drawView(canvas, *sub, now, state);
}

void drawOwnContent(Canvas& canvas, View& view, const Rect& bounds, double now)
{
    if (auto color = view.presentationBackgroundColor(now)) {
        canvas.setFillColor(*color);
        canvas.fillRect(bounds);
    }
    // A view draws only inside its bounds, as into a backing store of that size: a
    // gradient or a fill of the whole clip stays within the view.
    canvas.isolated([&] {
        canvas.clipToRect(bounds);
        view.draw(canvas, bounds);
    });
    if (view.hasLayer()) {
        auto layer = view.layer();
        if (auto image = layer->contents())
            canvas.drawImage(*image, bounds);
        for (const auto& sub : layer->sublayers())
            drawLayer(canvas, *sub, now);
    }
}

// The camera of the flip stands this many face widths in front of it.
constexpr double kFlipCameraDistance = 2.5;

bool isFlip(ViewTransition kind)
{
    return kind == ViewTransition::FlipFromLeft || kind == ViewTransition::FlipFromRight;
}

// A turn about the vertical centre line, in perspective: the old face turns away until it
// is seen edge on at the half, then the new face (what the view shows now) turns in. From
// the right, the right edge comes towards the viewer first.
void drawFlip(Canvas& canvas, View& view, const TransitionState& transition, const Rect& bounds, double now)
{
    const double turn = transition.transaction->progress(now) * std::numbers::pi;
    const bool before = turn < std::numbers::pi / 2;
    double angle = before ? turn : turn - std::numbers::pi;
    if (transition.kind == ViewTransition::FlipFromLeft)
        angle = -angle;
    std::shared_ptr<Image> face = before ? transition.before : renderViewForTransition(view, snapshotScale(), now);
    if (!face)
        return;
    const double shade = 0.35 * std::sin(turn);
    TurnedFace turned = turnFace(*face, angle, kFlipCameraDistance * face->pixelWidth(), shade);
    if (!turned.image)
        return;
    const double perX = face->pixelWidth() / double(bounds.width());
    const double perY = face->pixelHeight() / double(bounds.height());
    canvas.drawImage(*turned.image,
                     Rect{Float(-turned.marginX / perX), Float(-turned.marginY / perY),
                          Float(turned.image->pixelWidth() / perX), Float(turned.image->pixelHeight() / perY)});
}

void drawView(Canvas& canvas, View& view, double now, PassState& state)
{
    if (view.isHidden())
        return;
    const Float alpha = view.presentationAlpha(now);
    if (alpha <= 0)
        return;
    const Point center = view.presentationCenter(now);
    const Rect bounds = view.presentationBounds(now);
    const TransitionState* transition = view.activeTransition(now);
    canvas.isolated([&] {
        canvas.translate(center.x - bounds.width() / 2, center.y - bounds.height() / 2);
        cairo_t* cr = canvas.cairo();
        const bool group = alpha < 1;
        if (group)
            cairo_push_group(cr);
        if (transition && isFlip(transition->kind)) {
            // The turning view is one picture, drawn with whatever pass draws now.
            if (state.drawsNow())
                drawFlip(canvas, view, *transition, bounds, now);
        } else if (transition && transition->transaction->progress(now) < 0.5) {
            if (transition->before && state.drawsNow())
                canvas.drawImage(*transition->before, Rect{0, 0, bounds.width(), bounds.height()});
        } else {
            canvas.isolated([&] {
                canvas.translate(-bounds.x(), -bounds.y());
                drawContent(canvas, view, bounds, now, state);
            });
        }
        if (group) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, alpha);
        }
    });
}

} // namespace

std::shared_ptr<Image> renderViewForTransition(View& view, double scale, double now)
{
    const Rect bounds = view.presentationBounds(now);
    if (bounds.width() <= 0 || bounds.height() <= 0)
        return nullptr;
    BitmapCanvas bitmap(bounds.size, scale);
    if (!bitmap.isValid())
        return nullptr;
    bitmap.canvas().translate(-bounds.x(), -bounds.y());
    PassState all;
    drawContent(bitmap.canvas(), view, bounds, now, all);
    return bitmap.takeImage();
}

} // namespace detail

Compositor::Compositor(std::shared_ptr<Window> window) : m_window(std::move(window))
{
    m_window->setInvalidationHandler(
        [this] {
            if (m_onNeedsDisplay)
                m_onNeedsDisplay();
        },
        this);
}

Compositor::~Compositor()
{
    m_window->clearInvalidationHandler(this);
}

void Compositor::setNeedsDisplayHandler(std::function<void()> handler)
{
    m_onNeedsDisplay = std::move(handler);
}

bool Compositor::needsDisplay() const
{
    return m_window->needsDisplay();
}

bool Compositor::isAnimating() const
{
    return detail::isAnimating(*m_window, RunLoop::main().now());
}

void Compositor::render(cairo_t* cr, double scale, Pass pass)
{
    const double now = RunLoop::main().now();
    // Transitions capture the outgoing picture at the scale the window is shown at.
    detail::setSnapshotScale(scale);
    if (pass != Pass::AboveNative) {
        // Cleared first: changes made while drawing ask for the next frame.
        m_window->clearNeedsDisplay();
        ++m_frames;
    }
    cairo_save(cr);
    if (pass != Pass::AboveNative && m_paintsScreen) {
        // Behind every window the screen is black.
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    cairo_scale(cr, scale, scale);
    Canvas canvas(cr);
    // The window's frame is where it sits on the screen; draw it at the surface's origin.
    Rect frame = m_window->frame();
    canvas.translate(-frame.x(), -frame.y());
    detail::PassState state{pass};
    detail::drawView(canvas, *m_window, now, state);
    cairo_restore(cr);
    if (m_window->isFocusVisible())
        drawFocusRing(cr, scale, pass);
}

void Compositor::drawFocusRing(cairo_t* cr, double scale, Pass pass)
{
    auto view = m_window->focusedView();
    if (!view || !view->isEffectivelyVisible())
        return;
    // With the layer that holds the view: over a page the ring must be above it too.
    if (pass != Pass::All && (pass == Pass::AboveNative) != isAboveNativeContent(*view))
        return;
    Rect r = view->convertRectToView(view->bounds(), nullptr);
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    const double inset = -2.5;
    const double x = r.minX() + inset, y = r.minY() + inset;
    const double w = r.size.width - 2 * inset, h = r.size.height - 2 * inset;
    const double radius = std::min(6.0, std::min(w, h) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -std::numbers::pi / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, std::numbers::pi / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, std::numbers::pi / 2, std::numbers::pi);
    cairo_arc(cr, x + radius, y + radius, radius, std::numbers::pi, 3 * std::numbers::pi / 2);
    cairo_close_path(cr);
    // A light ring with a dark edge shows on the game's dark and light pictures alike.
    cairo_set_line_width(cr, 4.0);
    cairo_set_source_rgba(cr, 0.05, 0.1, 0.25, 0.9);
    cairo_stroke_preserve(cr);
    cairo_set_line_width(cr, 2.0);
    cairo_set_source_rgb(cr, 0.55, 0.8, 1.0);
    cairo_stroke(cr);
    cairo_restore(cr);
}

namespace {

// Whether a native view is shown in this subtree.
bool showsNative(const View& view)
{
    if (view.isHidden() || view.alpha() <= 0)
        return false;
    if (view.showsNativeContent())
        return true;
    for (const auto& sub : view.subviews())
        if (showsNative(*sub))
            return true;
    return false;
}

} // namespace

bool Compositor::hasNativeContent() const
{
    return showsNative(*m_window);
}

bool Compositor::isAboveNativeContent(const View& view)
{
    for (const View* v = &view;;) {
        auto parent = v->superview();
        if (!parent)
            return false;
        if (parent->showsNativeContent() && !parent->isHidden())
            return true;
        for (const auto& sibling : parent->subviews()) {
            if (sibling.get() == v)
                break;
            if (showsNative(*sibling))
                return true;
        }
        v = parent.get();
    }
}

std::shared_ptr<Image> Compositor::renderImage(double scale)
{
    Size size = m_window->bounds().size;
    int w = int(std::ceil(double(size.width) * scale - 1e-6));
    int h = int(std::ceil(double(size.height) * scale - 1e-6));
    auto image = Image::create(w, h, scale);
    if (!image)
        return nullptr;
    cairo_t* cr = cairo_create(image->surface());
    render(cr, scale);
    cairo_destroy(cr);
    cairo_surface_flush(image->surface());
    return image;
}

FrameDriver::FrameDriver(Compositor& compositor, std::function<void()> drawFrame, double framesPerSecond, RunLoop& loop)
    : m_compositor(compositor),
      m_draw(std::move(drawFrame)),
      m_interval(1.0 / (framesPerSecond > 0 ? framesPerSecond : 60.0)),
      m_loop(loop.weak_from_this())
{
    m_compositor.setNeedsDisplayHandler([this] { schedule(); });
    schedule();
}

FrameDriver::~FrameDriver()
{
    m_compositor.setNeedsDisplayHandler(nullptr);
    if (auto loop = m_loop.lock(); loop && m_pending)
        loop->cancel(m_pending);
}

void FrameDriver::schedule()
{
    auto loop = m_loop.lock();
    if (!loop || m_pending || !m_compositor.needsFrame())
        return;
    double at = std::max(loop->now(), m_lastFrame + m_interval);
    m_pending = loop->scheduleAt(at, [this] { tick(); });
}

void FrameDriver::tick()
{
    m_pending = 0;
    if (!m_compositor.needsFrame())
        return;
    if (auto loop = m_loop.lock())
        m_lastFrame = loop->now();
    ++m_frames;
    if (m_draw)
        m_draw();
    else
        m_compositor.renderImage(1.0);
    schedule();
}

} // namespace platform
