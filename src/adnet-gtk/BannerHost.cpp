#include "BannerHost.h"

#include <algorithm>
#include <cmath>

#include "Internals.h"
#include "LandingStage.h"
#include "Runtime.h"
#include "adnet/AdNetView.h"
#include "platform/backend/gtk/AccessibleMirror.h"
#include "platform/backend/gtk/WebViewStack.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace adnet::gtk {

namespace {

platform::Point toPoint(double x, double y)
{
    return platform::Point{static_cast<platform::Float>(x), static_cast<platform::Float>(y)};
}

} // namespace

BannerHost::BannerHost(GtkWidget* widget, Events events, std::weak_ptr<AdNetDelegate> delegate)
    : m_widget(widget),
      m_events(std::move(events)),
      m_delegate(std::move(delegate)),
      m_external(m_delegate.lock() != nullptr)
{
    ensureRuntime();
    m_window = platform::Window::create(platform::Rect{0, 0, kWidth, kHeight});
    m_compositor = std::make_unique<platform::Compositor>(m_window);
    // The host's widgets show around the banner and through the landing screen's backdrop.
    m_compositor->setPaintsScreen(false);
    m_compositor->setNeedsDisplayHandler([this] { startFrames(); });
}

BannerHost::~BannerHost()
{
    detach();
    m_compositor->setNeedsDisplayHandler(nullptr);
    if (m_view)
        platformViewOf(*m_view).removeFromSuperview();
    m_view.reset();
}

void BannerHost::detach()
{
    if (m_refresh) {
        m_refresh->invalidate();
        m_refresh.reset();
    }
    if (m_stage) {
        auto& stack = ensureRuntime().webStack;
        if (stack && stack->window() == m_stage.get())
            stack->attach(nullptr);
        m_stage.reset();
    }
    if (m_tick && m_widget)
        gtk_widget_remove_tick_callback(m_widget, m_tick);
    m_tick = 0;
    m_events = Events{};
    m_widget = nullptr;
}

void BannerHost::start()
{
    if (m_started)
        return;
    m_started = true;
    m_view = AdNetView::requestAdWithDelegate(weak_from_this());
    if (!m_view)
        return;
    // Shares the ad view's ownership: the window holds the view tree node of the banner.
    m_window->addSubview(std::shared_ptr<platform::View>(m_view, &platformViewOf(*m_view)));
    layout();
}

void BannerHost::requestFreshAd()
{
    if (m_view)
        m_view->requestFreshAd();
}

void BannerHost::setRefreshInterval(unsigned seconds)
{
    if (seconds == m_refreshInterval)
        return;
    m_refreshInterval = seconds;
    if (m_shown)
        scheduleRefresh();
}

void BannerHost::scheduleRefresh()
{
    if (m_refresh)
        m_refresh->invalidate();
    m_refresh.reset();
    if (m_refreshInterval == 0)
        return;
    std::weak_ptr<BannerHost> weak = weak_from_this();
    m_refresh = platform::Timer::schedule(m_refreshInterval, true, [weak](platform::Timer&) {
        if (auto self = weak.lock())
            self->requestFreshAd();
    });
}

// ---- where the banner sits -------------------------------------------------------------

BannerHost::Area BannerHost::landingArea() const
{
    Area area;
    if (!m_widget)
        return area;
    GtkRoot* root = gtk_widget_get_root(m_widget);
    if (!root)
        return area;
    GtkWidget* reference = GTK_WIDGET(root);
    if (GTK_IS_WINDOW(root)) {
        area.window = GTK_WINDOW(root);
        if (GtkWidget* child = gtk_window_get_child(area.window))
            reference = child; // the content, without the window's decorations
    }
    if (m_landingOverlay && gtk_widget_get_root(GTK_WIDGET(m_landingOverlay)) == root)
        area.overlay = m_landingOverlay;
    else if (GTK_IS_OVERLAY(reference))
        area.overlay = GTK_OVERLAY(reference);
    if (area.overlay)
        reference = GTK_WIDGET(area.overlay);
    graphene_point_t origin = GRAPHENE_POINT_INIT(0, 0);
    graphene_point_t at;
    if (gtk_widget_compute_point(m_widget, reference, &origin, &at)) {
        area.x = std::round(at.x);
        area.y = std::round(at.y);
    }
    area.width = std::max(gtk_widget_get_width(reference), kWidth);
    area.height = std::max(gtk_widget_get_height(reference), kHeight);
    return area;
}

void BannerHost::layout()
{
    // A landing screen grows out of the banner where it was when it opened.
    if (m_stage || !m_widget)
        return;
    const Area area = landingArea();
    const platform::Rect bounds{0, 0, platform::Float(area.width), platform::Float(area.height)};
    if (m_window->frame() != bounds)
        m_window->setFrame(bounds);
    m_bannerX = area.x;
    m_bannerY = area.y;
    if (m_view) {
        const platform::Rect frame{platform::Float(area.x), platform::Float(area.y), kWidth, kHeight};
        auto& view = platformViewOf(*m_view);
        if (view.frame() != frame)
            view.setFrame(frame);
    }
    // Landing screens take the whole of the landing area.
    auto& screen = platform::Screen::main();
    if (screen.bounds() != bounds)
        screen.setBounds(bounds);
    screen.setScale(gtk_widget_get_scale_factor(m_widget));
}

void BannerHost::allocated()
{
    layout();
}

// ---- drawing -------------------------------------------------------------------------

void BannerHost::snapshot(GtkSnapshot* snapshot, int width, int height)
{
    // Nothing before the first ad, nor after it failed.
    if (!m_shown || width <= 0 || height <= 0)
        return;
    graphene_rect_t rect = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
    cairo_t* cr = gtk_snapshot_append_cairo(snapshot, &rect);
    const double ds = gtk_widget_get_scale_factor(m_widget);
    // The platform::Window is the landing area's size; only the banner's rectangle of it
    // is this widget's.
    cairo_translate(cr, -m_bannerX, -m_bannerY);
    cairo_scale(cr, 1.0 / ds, 1.0 / ds);
    m_compositor->render(cr, ds, platform::Compositor::Pass::BelowNative);
    cairo_destroy(cr);
    describeToScreenReaders();
}

namespace {

// The first actionable view of a subtree (the banner's own button), depth first.
const platform::View* firstActionable(const platform::View& view)
{
    if (view.accessibility().actionable())
        return &view;
    for (const auto& child : view.subviews())
        if (auto* found = firstActionable(*child))
            return found;
    return nullptr;
}

} // namespace

void BannerHost::describeToScreenReaders()
{
    // The widget is the banner's button for screen readers: the ad's name, busy while its
    // click runs. Checked each drawn frame; GTK hears only of changes.
    if (!m_view || !m_widget)
        return;
    const platform::View* button = firstActionable(platformViewOf(*m_view));
    if (!button)
        return;
    platform::Accessibility a = button->accessibility();
    if (m_described && a.label == m_described->label && a.description == m_described->description &&
        a.busy == m_described->busy)
        return;
    gtk_accessible_update_property(GTK_ACCESSIBLE(m_widget), GTK_ACCESSIBLE_PROPERTY_LABEL, a.label.c_str(),
                                   GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, a.description.c_str(), -1);
    gtk_accessible_update_state(GTK_ACCESSIBLE(m_widget), GTK_ACCESSIBLE_STATE_BUSY, gboolean(a.busy), -1);
    m_described = std::move(a);
}

gboolean BannerHost::tick(GtkWidget* widget, GdkFrameClock*, gpointer data)
{
    auto* self = static_cast<BannerHost*>(data);
    gtk_widget_queue_draw(widget);
    if (self->m_compositor->isAnimating())
        return G_SOURCE_CONTINUE;
    self->m_tick = 0; // this frame shows the final state; then the banner goes quiet
    return G_SOURCE_REMOVE;
}

void BannerHost::startFrames()
{
    if (m_widget && !m_tick)
        m_tick = gtk_widget_add_tick_callback(m_widget, tick, this, nullptr);
    if (m_stage)
        m_stage->startFrames();
}

// ---- input ---------------------------------------------------------------------------

void BannerHost::pressed(double x, double y)
{
    if (!m_shown)
        return;
    layout();
    m_touch = m_nextTouch++;
    m_window->touchBegan(m_touch, toPoint(x + m_bannerX, y + m_bannerY));
}

void BannerHost::dragged(double x, double y)
{
    if (m_touch)
        m_window->touchMoved(m_touch, toPoint(x + m_bannerX, y + m_bannerY));
}

void BannerHost::released(double x, double y)
{
    if (m_touch)
        m_window->touchEnded(m_touch, toPoint(x + m_bannerX, y + m_bannerY));
    m_touch = 0;
}

void BannerHost::cancelled()
{
    if (m_touch)
        m_window->touchCancelled(m_touch);
    m_touch = 0;
}

void BannerHost::tap()
{
    // The banner is under its landing screen then.
    if (m_stage)
        return;
    pressed(kWidth / 2.0, kHeight / 2.0);
    released(kWidth / 2.0, kHeight / 2.0);
}

void BannerHost::dismissLanding()
{
    if (m_view)
        dismissLandingScreensOf(*m_view);
}

// ---- landing screens -------------------------------------------------------------------

void BannerHost::presentStage(const char* kind)
{
    // Under a landing screen the banner is out of reach, for a screen reader too.
    if (m_widget)
        gtk_accessible_update_state(GTK_ACCESSIBLE(m_widget), GTK_ACCESSIBLE_STATE_HIDDEN, TRUE, -1);
    if (m_presentations++ == 0 && m_widget && !m_stage) {
        layout();
        const Area area = landingArea();
        auto& stack = ensureRuntime().webStack;
        LandingStage::Hooks hooks;
        hooks.draw = [this](cairo_t* cr, double scale, bool above) {
            using Pass = platform::Compositor::Pass;
            m_compositor->render(cr, scale, above ? Pass::AboveNative : Pass::BelowNative);
        };
        hooks.animating = [this] { return m_compositor->isAnimating(); };
        hooks.placePages = [this, stack] {
            if (m_mirror)
                m_mirror->sync();
            return stack && stack->place(platform::RunLoop::main().now());
        };
        hooks.takesPressAbove = [this, stack](double x, double y) {
            if (!stack || !stack->coversPoint(x, y))
                return false;
            auto hit = m_window->hitTest(toPoint(x, y));
            return hit && platform::Compositor::isAboveNativeContent(*hit);
        };
        hooks.pressed = [this](double x, double y) {
            m_touch = m_nextTouch++;
            m_window->touchBegan(m_touch, toPoint(x, y));
        };
        hooks.dragged = [this](double x, double y) {
            if (m_touch)
                m_window->touchMoved(m_touch, toPoint(x, y));
        };
        hooks.released = [this](double x, double y) {
            if (m_touch)
                m_window->touchEnded(m_touch, toPoint(x, y));
            m_touch = 0;
        };
        hooks.cancelled = [this] { cancelled(); };
        hooks.escape = [this] { dismissLanding(); };
        hooks.navigationKey = [this](platform::gtk::NavigationKey key) {
            bool used = m_mirror && m_mirror->handleKey(key);
            if (used && m_stage)
                m_stage->startFrames();
            return used;
        };
        m_stage = std::make_unique<LandingStage>(area.overlay, area.window, area.width, area.height, std::move(hooks));
        m_mirror = std::make_unique<platform::gtk::AccessibleMirror>(*m_stage, m_window);
        if (stack)
            stack->attach(m_stage.get());
    }
    if (m_events.willPresent)
        m_events.willPresent(kind);
}

void BannerHost::dismissStage(const char* kind)
{
    if (m_presentations > 0 && --m_presentations == 0 && m_stage) {
        auto& stack = ensureRuntime().webStack;
        if (stack && stack->window() == m_stage.get())
            stack->attach(nullptr);
        m_mirror.reset();
        m_stage.reset();
        if (m_widget) {
            gtk_accessible_update_state(GTK_ACCESSIBLE(m_widget), GTK_ACCESSIBLE_STATE_HIDDEN, FALSE, -1);
            gtk_widget_queue_draw(m_widget);
        }
    }
    if (m_events.didDismiss)
        m_events.didDismiss(kind);
}

void BannerHost::unrooted()
{
    if (m_stage) {
        if (m_view)
            dismissLandingScreensOf(*m_view);
        auto& stack = ensureRuntime().webStack;
        if (stack && stack->window() == m_stage.get())
            stack->attach(nullptr);
        m_mirror.reset();
        m_stage.reset();
    }
}

// ---- the host's answers ------------------------------------------------------------------

// The application's own delegate answers when there is one; else the widget's properties,
// and the defaults for everything they do not cover.
#define ASK(call, fallback)                                                                                            \
    do {                                                                                                               \
        if (m_external) {                                                                                              \
            if (auto host = m_delegate.lock())                                                                         \
                return host->call;                                                                                     \
        }                                                                                                              \
        return fallback;                                                                                               \
    } while (0)

std::string BannerHost::publisherId()
{
    ASK(publisherId(), m_external ? std::string() : m_answers.publisherId);
}

std::optional<Color> BannerHost::adBackgroundColor()
{
    ASK(adBackgroundColor(), m_external ? std::nullopt : m_answers.backgroundColor);
}

std::optional<Color> BannerHost::adTextColor()
{
    ASK(adTextColor(), m_external ? std::nullopt : m_answers.textColor);
}

std::optional<bool> BannerHost::useGraySpinner()
{
    ASK(useGraySpinner(), std::nullopt);
}

std::optional<bool> BannerHost::mayAskForLocation()
{
    ASK(mayAskForLocation(), std::nullopt);
}

Answer<Coordinate> BannerHost::location()
{
    ASK(location(), notImplemented);
}

std::optional<bool> BannerHost::useTestAd()
{
    ASK(useTestAd(), !m_external && m_answers.testAds ? std::optional<bool>(true) : std::nullopt);
}

std::optional<std::string> BannerHost::postalCode()
{
    ASK(postalCode(), std::nullopt);
}

std::optional<std::string> BannerHost::areaCode()
{
    ASK(areaCode(), std::nullopt);
}

std::optional<std::string> BannerHost::gender()
{
    ASK(gender(), std::nullopt);
}

std::optional<std::chrono::system_clock::time_point> BannerHost::dateOfBirth()
{
    ASK(dateOfBirth(), std::nullopt);
}

std::optional<std::string> BannerHost::searchString()
{
    ASK(searchString(), std::nullopt);
}

std::optional<std::string> BannerHost::keywords()
{
    ASK(keywords(), std::nullopt);
}

std::optional<bool> BannerHost::useEmbeddedWebView()
{
    // Left unanswered, the embedded browser is used: only "no" needs saying.
    ASK(useEmbeddedWebView(), !m_external && !m_answers.useEmbeddedBrowser ? std::optional<bool>(false) : std::nullopt);
}

bool BannerHost::presentWebView(const std::string& url)
{
    ASK(presentWebView(url), false);
}

std::optional<Color> BannerHost::embeddedWebViewTintColor()
{
    ASK(embeddedWebViewTintColor(), std::nullopt);
}

std::optional<int> BannerHost::embeddedWebViewBarStyle()
{
    ASK(embeddedWebViewBarStyle(), std::nullopt);
}

Answer<std::string> BannerHost::adserverEndpoint()
{
    ASK(adserverEndpoint(), notImplemented);
}

#undef ASK

void BannerHost::willPresentModalCanvas()
{
    auto self = shared_from_this();
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->willPresentModalCanvas();
    presentStage("canvas");
}

void BannerHost::didDismissModalCanvas()
{
    auto self = shared_from_this();
    dismissStage("canvas");
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->didDismissModalCanvas();
}

void BannerHost::willPresentWebView()
{
    auto self = shared_from_this();
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->willPresentWebView();
    presentStage("web");
}

void BannerHost::didDismissWebView()
{
    auto self = shared_from_this();
    dismissStage("web");
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->didDismissWebView();
}

void BannerHost::didReceiveAd(AdNetView& view)
{
    auto self = shared_from_this();
    m_shown = true;
    layout();
    if (m_widget)
        gtk_widget_queue_draw(m_widget);
    scheduleRefresh();
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->didReceiveAd(view);
    if (m_events.received)
        m_events.received();
}

void BannerHost::didFailToReceiveAd(AdNetView& view)
{
    auto self = shared_from_this();
    const std::string reason = failureReasonOf(view);
    if (auto host = m_external ? m_delegate.lock() : nullptr)
        host->didFailToReceiveAd(view);
    if (m_events.failed)
        m_events.failed(reason.empty() ? std::string("no ad") : reason);
}

} // namespace adnet::gtk
