// AdnetBanner: the GObject face of BannerHost, for C, Python (introspection) and C++ hosts.
#include "adnet/adnet-banner.h"

#include <memory>
#include <string>

#include "BannerHost.h"
#include "adnet/AdNetGtk.h"

using adnet::gtk::BannerHost;

struct _AdnetBanner {
    GtkWidget parent_instance;

    char* publisher_id;
    guint refresh_interval;
    gboolean test_ads;
    GdkRGBA* background_color;
    GdkRGBA* text_color;
    gboolean use_embedded_browser;
    GtkOverlay* landing_overlay; // weak
    std::shared_ptr<BannerHost>* host;
    std::weak_ptr<adnet::AdNetDelegate>* external; // set by adnet::createBanner only
};

G_DEFINE_FINAL_TYPE(AdnetBanner, adnet_banner, GTK_TYPE_WIDGET)

GQuark adnet_banner_error_quark(void)
{
    return g_quark_from_static_string("adnet-banner-error-quark");
}

enum {
    PROP_0,
    PROP_PUBLISHER_ID,
    PROP_REFRESH_INTERVAL,
    PROP_TEST_ADS,
    PROP_BACKGROUND_COLOR,
    PROP_TEXT_COLOR,
    PROP_USE_EMBEDDED_BROWSER,
    PROP_LANDING_OVERLAY,
    N_PROPS
};
static GParamSpec* properties[N_PROPS];

enum { SIGNAL_AD_RECEIVED, SIGNAL_AD_FAILED, SIGNAL_LANDING_WILL_PRESENT, SIGNAL_LANDING_DID_DISMISS, N_SIGNALS };
static guint signals[N_SIGNALS];

namespace {

// The application's own delegate on its way into a banner made by adnet::createBanner.
thread_local std::weak_ptr<adnet::AdNetDelegate>* t_pendingHost = nullptr;

// A reason as the ad client words it, sorted into the error codes.
AdnetBannerError errorCodeFor(const std::string& reason)
{
    auto has = [&reason](const char* part) { return reason.find(part) != std::string::npos; };
    if (has("picture"))
        return ADNET_BANNER_ERROR_PICTURE;
    if (has("the ad answer"))
        return ADNET_BANNER_ERROR_ANSWER;
    if (has("HTTP status"))
        return ADNET_BANNER_ERROR_HTTP;
    if (has("connect") || has("refused") || has("timed out") || has("resolve") || has("network") || has("reach"))
        return ADNET_BANNER_ERROR_NETWORK;
    return ADNET_BANNER_ERROR_OTHER;
}

std::optional<adnet::Color> toColor(const GdkRGBA* rgba)
{
    if (!rgba)
        return std::nullopt;
    return adnet::Color{rgba->red, rgba->green, rgba->blue, rgba->alpha};
}

BannerHost* hostOf(AdnetBanner* self)
{
    return self->host ? self->host->get() : nullptr;
}

void makeHost(AdnetBanner* self)
{
    BannerHost::Events events;
    events.received = [self] { g_signal_emit(self, signals[SIGNAL_AD_RECEIVED], 0); };
    events.failed = [self](const std::string& reason) {
        GError* error = g_error_new_literal(ADNET_BANNER_ERROR, errorCodeFor(reason), reason.c_str());
        g_signal_emit(self, signals[SIGNAL_AD_FAILED], 0, error);
        g_error_free(error);
    };
    events.willPresent = [self](const char* kind) {
        g_signal_emit(self, signals[SIGNAL_LANDING_WILL_PRESENT], 0, kind);
    };
    events.didDismiss = [self](const char* kind) { g_signal_emit(self, signals[SIGNAL_LANDING_DID_DISMISS], 0, kind); };
    auto host = std::make_shared<BannerHost>(GTK_WIDGET(self), std::move(events),
                                             self->external ? *self->external : std::weak_ptr<adnet::AdNetDelegate>());
    self->host = new std::shared_ptr<BannerHost>(std::move(host));
    auto& answers = (*self->host)->answers();
    answers.publisherId = self->publisher_id ? self->publisher_id : "";
    answers.testAds = self->test_ads;
    answers.backgroundColor = toColor(self->background_color);
    answers.textColor = toColor(self->text_color);
    answers.useEmbeddedBrowser = self->use_embedded_browser;
    (*self->host)->setRefreshInterval(self->refresh_interval);
    (*self->host)->setLandingOverlay(self->landing_overlay);
}

// Whether the colour changed.
bool setColor(GdkRGBA** slot, const GdkRGBA* color)
{
    if (*slot == color || (*slot && color && gdk_rgba_equal(*slot, color)))
        return false;
    g_clear_pointer(slot, gdk_rgba_free);
    if (color)
        *slot = gdk_rgba_copy(color);
    return true;
}

// ---- input ---------------------------------------------------------------------------

struct Drag {
    double x{0};
    double y{0};
};

void dragBegin(GtkGestureDrag* gesture, double x, double y, gpointer data)
{
    auto* self = ADNET_BANNER(data);
    auto* start = static_cast<Drag*>(g_object_get_data(G_OBJECT(gesture), "adnet-start"));
    start->x = x;
    start->y = y;
    if (auto* host = hostOf(self))
        host->pressed(x, y);
}

void dragUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
{
    auto* start = static_cast<Drag*>(g_object_get_data(G_OBJECT(gesture), "adnet-start"));
    if (auto* host = hostOf(ADNET_BANNER(data)))
        host->dragged(start->x + dx, start->y + dy);
}

void dragEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
{
    auto* start = static_cast<Drag*>(g_object_get_data(G_OBJECT(gesture), "adnet-start"));
    if (auto* host = hostOf(ADNET_BANNER(data)))
        host->released(start->x + dx, start->y + dy);
}

void dragCancel(GtkGesture*, GdkEventSequence*, gpointer data)
{
    if (auto* host = hostOf(ADNET_BANNER(data)))
        host->cancelled();
}

} // namespace

// ---- GObject -------------------------------------------------------------------------

static void adnet_banner_constructed(GObject* object)
{
    G_OBJECT_CLASS(adnet_banner_parent_class)->constructed(object);
    auto* self = ADNET_BANNER(object);
    if (t_pendingHost)
        self->external = new std::weak_ptr<adnet::AdNetDelegate>(*t_pendingHost);
    if (!self->external && (!self->publisher_id || !*self->publisher_id))
        g_critical("AdnetBanner: publisher-id is required");
    makeHost(self);
}

static void adnet_banner_dispose(GObject* object)
{
    auto* self = ADNET_BANNER(object);
    if (self->host) {
        (*self->host)->detach();
        delete self->host;
        self->host = nullptr;
    }
    if (self->landing_overlay) {
        g_object_remove_weak_pointer(G_OBJECT(self->landing_overlay),
                                     reinterpret_cast<gpointer*>(&self->landing_overlay));
        self->landing_overlay = nullptr;
    }
    G_OBJECT_CLASS(adnet_banner_parent_class)->dispose(object);
}

static void adnet_banner_finalize(GObject* object)
{
    auto* self = ADNET_BANNER(object);
    g_free(self->publisher_id);
    g_clear_pointer(&self->background_color, gdk_rgba_free);
    g_clear_pointer(&self->text_color, gdk_rgba_free);
    delete self->external;
    G_OBJECT_CLASS(adnet_banner_parent_class)->finalize(object);
}

static void adnet_banner_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    auto* self = ADNET_BANNER(object);
    switch (id) {
    case PROP_PUBLISHER_ID:
        g_value_set_string(value, self->publisher_id);
        break;
    case PROP_REFRESH_INTERVAL:
        g_value_set_uint(value, self->refresh_interval);
        break;
    case PROP_TEST_ADS:
        g_value_set_boolean(value, self->test_ads);
        break;
    case PROP_BACKGROUND_COLOR:
        g_value_set_boxed(value, self->background_color);
        break;
    case PROP_TEXT_COLOR:
        g_value_set_boxed(value, self->text_color);
        break;
    case PROP_USE_EMBEDDED_BROWSER:
        g_value_set_boolean(value, self->use_embedded_browser);
        break;
    case PROP_LANDING_OVERLAY:
        g_value_set_object(value, self->landing_overlay);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static void adnet_banner_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    auto* self = ADNET_BANNER(object);
    switch (id) {
    case PROP_PUBLISHER_ID:
        g_free(self->publisher_id);
        self->publisher_id = g_value_dup_string(value);
        break;
    case PROP_REFRESH_INTERVAL:
        adnet_banner_set_refresh_interval(self, g_value_get_uint(value));
        break;
    case PROP_TEST_ADS:
        adnet_banner_set_test_ads(self, g_value_get_boolean(value));
        break;
    case PROP_BACKGROUND_COLOR:
        adnet_banner_set_background_color(self, static_cast<const GdkRGBA*>(g_value_get_boxed(value)));
        break;
    case PROP_TEXT_COLOR:
        adnet_banner_set_text_color(self, static_cast<const GdkRGBA*>(g_value_get_boxed(value)));
        break;
    case PROP_USE_EMBEDDED_BROWSER:
        adnet_banner_set_use_embedded_browser(self, g_value_get_boolean(value));
        break;
    case PROP_LANDING_OVERLAY:
        adnet_banner_set_landing_overlay(self, GTK_OVERLAY(g_value_get_object(value)));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static void adnet_banner_measure(GtkWidget*, GtkOrientation orientation, int, int* minimum, int* natural,
                                 int* minimumBaseline, int* naturalBaseline)
{
    const int size = orientation == GTK_ORIENTATION_HORIZONTAL ? BannerHost::kWidth : BannerHost::kHeight;
    *minimum = size;
    *natural = size;
    *minimumBaseline = -1;
    *naturalBaseline = -1;
}

static void adnet_banner_size_allocate(GtkWidget* widget, int, int, int)
{
    if (auto* host = hostOf(ADNET_BANNER(widget)))
        host->allocated();
}

static void adnet_banner_snapshot(GtkWidget* widget, GtkSnapshot* snapshot)
{
    if (auto* host = hostOf(ADNET_BANNER(widget)))
        host->snapshot(snapshot, gtk_widget_get_width(widget), gtk_widget_get_height(widget));
}

static void adnet_banner_realize(GtkWidget* widget)
{
    GTK_WIDGET_CLASS(adnet_banner_parent_class)->realize(widget);
    // The first request waits for the window, so that properties set after construction
    // count for it.
    if (auto* host = hostOf(ADNET_BANNER(widget)))
        host->start();
}

static void adnet_banner_unroot(GtkWidget* widget)
{
    if (auto* host = hostOf(ADNET_BANNER(widget)))
        host->unrooted();
    GTK_WIDGET_CLASS(adnet_banner_parent_class)->unroot(widget);
}

static void adnet_banner_class_init(AdnetBannerClass* klass)
{
    auto* object = G_OBJECT_CLASS(klass);
    object->constructed = adnet_banner_constructed;
    object->dispose = adnet_banner_dispose;
    object->finalize = adnet_banner_finalize;
    object->get_property = adnet_banner_get_property;
    object->set_property = adnet_banner_set_property;
    auto* widget = GTK_WIDGET_CLASS(klass);
    widget->measure = adnet_banner_measure;
    widget->size_allocate = adnet_banner_size_allocate;
    widget->snapshot = adnet_banner_snapshot;
    widget->realize = adnet_banner_realize;
    widget->unroot = adnet_banner_unroot;

    // Properties and signals are documented in adnet-banner.h, where introspection reads them.
    const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);
    properties[PROP_PUBLISHER_ID] =
        g_param_spec_string("publisher-id", nullptr, nullptr, nullptr,
                            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS));
    properties[PROP_REFRESH_INTERVAL] =
        g_param_spec_uint("refresh-interval", nullptr, nullptr, 0, G_MAXUINT, 60, flags);
    properties[PROP_TEST_ADS] = g_param_spec_boolean("test-ads", nullptr, nullptr, FALSE, flags);
    properties[PROP_BACKGROUND_COLOR] = g_param_spec_boxed("background-color", nullptr, nullptr, GDK_TYPE_RGBA, flags);
    properties[PROP_TEXT_COLOR] = g_param_spec_boxed("text-color", nullptr, nullptr, GDK_TYPE_RGBA, flags);
    properties[PROP_USE_EMBEDDED_BROWSER] = g_param_spec_boolean("use-embedded-browser", nullptr, nullptr, TRUE, flags);
    properties[PROP_LANDING_OVERLAY] =
        g_param_spec_object("landing-overlay", nullptr, nullptr, GTK_TYPE_OVERLAY, flags);
    g_object_class_install_properties(object, N_PROPS, properties);

    signals[SIGNAL_AD_RECEIVED] = g_signal_new("ad-received", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr,
                                               nullptr, nullptr, G_TYPE_NONE, 0);
    signals[SIGNAL_AD_FAILED] = g_signal_new("ad-failed", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr,
                                             nullptr, nullptr, G_TYPE_NONE, 1, G_TYPE_ERROR);
    signals[SIGNAL_LANDING_WILL_PRESENT] =
        g_signal_new("landing-will-present", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr, nullptr,
                     G_TYPE_NONE, 1, G_TYPE_STRING);
    signals[SIGNAL_LANDING_DID_DISMISS] =
        g_signal_new("landing-did-dismiss", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr, nullptr,
                     G_TYPE_NONE, 1, G_TYPE_STRING);

    gtk_widget_class_set_css_name(GTK_WIDGET_CLASS(klass), "adnet-banner");
    gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), GTK_ACCESSIBLE_ROLE_BUTTON);

    // banner.activate: a tap in the banner's middle, as Enter or Space on a focused banner.
    gtk_widget_class_install_action(GTK_WIDGET_CLASS(klass), "banner.activate", nullptr,
                                    [](GtkWidget* widget, const char*, GVariant*) {
                                        if (auto* host = hostOf(ADNET_BANNER(widget)))
                                            host->tap();
                                    });
    // banner.dismiss-landing: closes an open landing screen, as Escape or its Done button.
    gtk_widget_class_install_action(GTK_WIDGET_CLASS(klass), "banner.dismiss-landing", nullptr,
                                    [](GtkWidget* widget, const char*, GVariant*) {
                                        if (auto* host = hostOf(ADNET_BANNER(widget)))
                                            host->dismissLanding();
                                    });
    for (guint key : {GDK_KEY_Return, GDK_KEY_KP_Enter, GDK_KEY_space})
        gtk_widget_class_add_binding_action(GTK_WIDGET_CLASS(klass), key, GdkModifierType(0), "banner.activate",
                                            nullptr);
}

static void adnet_banner_init(AdnetBanner* self)
{
    self->refresh_interval = 60;
    self->use_embedded_browser = TRUE;
    gtk_widget_set_focusable(GTK_WIDGET(self), TRUE);

    GtkGesture* drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    g_object_set_data_full(G_OBJECT(drag), "adnet-start", new Drag(), [](gpointer p) { delete static_cast<Drag*>(p); });
    g_signal_connect(drag, "drag-begin", G_CALLBACK(dragBegin), self);
    g_signal_connect(drag, "drag-update", G_CALLBACK(dragUpdate), self);
    g_signal_connect(drag, "drag-end", G_CALLBACK(dragEnd), self);
    g_signal_connect(drag, "cancel", G_CALLBACK(dragCancel), self);
    gtk_widget_add_controller(GTK_WIDGET(self), GTK_EVENT_CONTROLLER(drag));
}

// ---- API ---------------------------------------------------------------------------------

GtkWidget* adnet_banner_new(const char* publisher_id)
{
    return GTK_WIDGET(g_object_new(ADNET_TYPE_BANNER, "publisher-id", publisher_id, nullptr));
}

const char* adnet_banner_get_publisher_id(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), nullptr);
    return self->publisher_id;
}

guint adnet_banner_get_refresh_interval(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), 0);
    return self->refresh_interval;
}

void adnet_banner_set_refresh_interval(AdnetBanner* self, guint seconds)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    if (self->refresh_interval == seconds)
        return;
    self->refresh_interval = seconds;
    if (auto* host = hostOf(self))
        host->setRefreshInterval(seconds);
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_REFRESH_INTERVAL]);
}

gboolean adnet_banner_get_test_ads(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), FALSE);
    return self->test_ads;
}

void adnet_banner_set_test_ads(AdnetBanner* self, gboolean test_ads)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    test_ads = !!test_ads;
    if (self->test_ads == test_ads)
        return;
    self->test_ads = test_ads;
    if (auto* host = hostOf(self))
        host->answers().testAds = test_ads;
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_TEST_ADS]);
}

const GdkRGBA* adnet_banner_get_background_color(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), nullptr);
    return self->background_color;
}

void adnet_banner_set_background_color(AdnetBanner* self, const GdkRGBA* color)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    if (!setColor(&self->background_color, color))
        return;
    if (auto* host = hostOf(self))
        host->answers().backgroundColor = toColor(self->background_color);
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_BACKGROUND_COLOR]);
}

const GdkRGBA* adnet_banner_get_text_color(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), nullptr);
    return self->text_color;
}

void adnet_banner_set_text_color(AdnetBanner* self, const GdkRGBA* color)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    if (!setColor(&self->text_color, color))
        return;
    if (auto* host = hostOf(self))
        host->answers().textColor = toColor(self->text_color);
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_TEXT_COLOR]);
}

gboolean adnet_banner_get_use_embedded_browser(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), TRUE);
    return self->use_embedded_browser;
}

void adnet_banner_set_use_embedded_browser(AdnetBanner* self, gboolean use_embedded_browser)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    use_embedded_browser = !!use_embedded_browser;
    if (self->use_embedded_browser == use_embedded_browser)
        return;
    self->use_embedded_browser = use_embedded_browser;
    if (auto* host = hostOf(self))
        host->answers().useEmbeddedBrowser = use_embedded_browser;
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_USE_EMBEDDED_BROWSER]);
}

GtkOverlay* adnet_banner_get_landing_overlay(AdnetBanner* self)
{
    g_return_val_if_fail(ADNET_IS_BANNER(self), nullptr);
    return self->landing_overlay;
}

void adnet_banner_set_landing_overlay(AdnetBanner* self, GtkOverlay* overlay)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    g_return_if_fail(overlay == nullptr || GTK_IS_OVERLAY(overlay));
    if (self->landing_overlay == overlay)
        return;
    if (self->landing_overlay)
        g_object_remove_weak_pointer(G_OBJECT(self->landing_overlay),
                                     reinterpret_cast<gpointer*>(&self->landing_overlay));
    self->landing_overlay = overlay;
    if (overlay)
        g_object_add_weak_pointer(G_OBJECT(overlay), reinterpret_cast<gpointer*>(&self->landing_overlay));
    if (auto* host = hostOf(self))
        host->setLandingOverlay(overlay);
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_LANDING_OVERLAY]);
}

void adnet_banner_request_fresh_ad(AdnetBanner* self)
{
    g_return_if_fail(ADNET_IS_BANNER(self));
    if (auto* host = hostOf(self))
        host->requestFreshAd();
}

namespace adnet {

GtkWidget* createBanner(std::weak_ptr<AdNetDelegate> host)
{
    // "constructed" makes the widget's C++ half and must know the host by then.
    t_pendingHost = &host;
    GtkWidget* widget = GTK_WIDGET(g_object_new(ADNET_TYPE_BANNER, nullptr));
    t_pendingHost = nullptr;
    return widget;
}

} // namespace adnet
