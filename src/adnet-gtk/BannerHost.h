#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adnet/AdNetDelegate.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Touch.h"

namespace platform::gtk {
class AccessibleMirror;
}

namespace platform {
class Compositor;
class Timer;
class Window;
} // namespace platform

namespace adnet {
class AdNetView;
}

namespace adnet::gtk {

class LandingStage;

// The C++ half of an AdnetBanner widget: the ad client's host. It answers the ad view's
// questions (from the widget's properties, or from a host delegate of the application's
// own), keeps the platform::Window the ad view lives in (the size of the landing area, the
// ad view at the banner's place in it), draws the banner's rectangle of it into the widget,
// turns presses into touches and shows landing screens on a LandingStage.
class BannerHost final : public AdNetDelegate, public std::enable_shared_from_this<BannerHost> {
public:
    // What the widget answers when no host delegate is given.
    struct Answers {
        std::string publisherId;
        bool testAds{false};
        std::optional<Color> backgroundColor;
        std::optional<Color> textColor;
        bool useEmbeddedBrowser{true};
    };
    // What the widget hears (its signals).
    struct Events {
        std::function<void()> received;
        std::function<void(const std::string& reason)> failed;
        std::function<void(const char* kind)> willPresent;
        std::function<void(const char* kind)> didDismiss;
    };

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 48;

    BannerHost(GtkWidget* widget, Events events, std::weak_ptr<AdNetDelegate> delegate = {});
    ~BannerHost() override;

    Answers& answers() { return m_answers; }
    // Seconds between fresh ads from the first ad on; 0: none.
    void setRefreshInterval(unsigned seconds);
    // The overlay landing screens cover (null: the window's child if an overlay, else a
    // window of their own).
    void setLandingOverlay(GtkOverlay* overlay) { m_landingOverlay = overlay; }

    // Starts the first ad request (once).
    void start();
    void requestFreshAd();
    bool adShown() const { return m_shown; }

    // -- from the widget
    void allocated();
    void snapshot(GtkSnapshot* snapshot, int width, int height);
    void pressed(double x, double y);
    void dragged(double x, double y);
    void released(double x, double y);
    void cancelled();
    // A tap in the banner's middle (keyboard activation).
    void tap();
    // Closes an open landing screen as its Done button would (Escape on the stage).
    void dismissLanding();
    // The widget leaves its window: a landing screen on it goes.
    void unrooted();
    // The widget is going: nothing more is drawn into it or reported to it.
    void detach();

    // -- AdNetDelegate
    std::string publisherId() override;
    std::optional<Color> adBackgroundColor() override;
    std::optional<Color> adTextColor() override;
    std::optional<bool> useGraySpinner() override;
    std::optional<bool> mayAskForLocation() override;
    Answer<Coordinate> location() override;
    std::optional<bool> useTestAd() override;
    std::optional<std::string> postalCode() override;
    std::optional<std::string> areaCode() override;
    std::optional<std::string> gender() override;
    std::optional<std::chrono::system_clock::time_point> dateOfBirth() override;
    std::optional<std::string> searchString() override;
    std::optional<std::string> keywords() override;
    std::optional<bool> useEmbeddedWebView() override;
    bool presentWebView(const std::string& url) override;
    std::optional<Color> embeddedWebViewTintColor() override;
    std::optional<int> embeddedWebViewBarStyle() override;
    void willPresentModalCanvas() override;
    void didDismissModalCanvas() override;
    void willPresentWebView() override;
    void didDismissWebView() override;
    void didReceiveAd(AdNetView& view) override;
    void didFailToReceiveAd(AdNetView& view) override;
    Answer<std::string> adserverEndpoint() override;

private:
    // The landing area: an overlay, or (null) the whole top-level window; its size, and the
    // banner's offset in it.
    struct Area {
        GtkOverlay* overlay{nullptr};
        GtkWindow* window{nullptr};
        int width{kWidth};
        int height{kHeight};
        double x{0};
        double y{0};
    };
    Area landingArea() const;
    void layout();
    void startFrames();
    void scheduleRefresh();
    void presentStage(const char* kind);
    void dismissStage(const char* kind);
    static gboolean tick(GtkWidget* widget, GdkFrameClock* clock, gpointer data);

    GtkWidget* m_widget;
    Events m_events;
    std::weak_ptr<AdNetDelegate> m_delegate;
    bool m_external;
    Answers m_answers;
    unsigned m_refreshInterval{60};
    GtkOverlay* m_landingOverlay{nullptr};

    std::shared_ptr<platform::Window> m_window;
    std::unique_ptr<platform::Compositor> m_compositor;
    std::shared_ptr<AdNetView> m_view;
    std::shared_ptr<platform::Timer> m_refresh;
    std::unique_ptr<LandingStage> m_stage;
    // The landing screen's views for screen readers and the keyboard (while m_stage is).
    std::unique_ptr<platform::gtk::AccessibleMirror> m_mirror;
    // What the widget last told screen readers about the banner.
    std::optional<platform::Accessibility> m_described;
    void describeToScreenReaders();
    bool m_started{false};
    bool m_shown{false};
    double m_bannerX{0};
    double m_bannerY{0};
    guint m_tick{0};
    platform::Touch::Id m_nextTouch{1};
    platform::Touch::Id m_touch{0};
    int m_presentations{0};
};

} // namespace adnet::gtk
