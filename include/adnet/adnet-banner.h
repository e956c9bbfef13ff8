/* adnet-banner.h: AdnetBanner, a GTK 4 widget showing AdNet ad banners. Include
 * <adnet/adnet-gtk.h> rather than this file. */
#pragma once

#include <gtk/gtk.h>

#include <adnet/AdNetExport.h>

G_BEGIN_DECLS

/**
 * ADNET_BANNER_ERROR:
 *
 * The error domain of the #GError an #AdnetBanner hands to #AdnetBanner::ad-failed.
 */
#define ADNET_BANNER_ERROR (adnet_banner_error_quark())

/**
 * AdnetBannerError:
 * @ADNET_BANNER_ERROR_NETWORK: the ad network could not be reached (no connection, a time-out).
 * @ADNET_BANNER_ERROR_HTTP: the ad network answered with an HTTP error status.
 * @ADNET_BANNER_ERROR_ANSWER: the ad network's answer could not be read as an ad.
 * @ADNET_BANNER_ERROR_PICTURE: a picture of the ad could not be fetched or decoded.
 * @ADNET_BANNER_ERROR_OTHER: any other reason.
 *
 * Why the first ad of a banner did not arrive.
 */
typedef enum {
    ADNET_BANNER_ERROR_NETWORK,
    ADNET_BANNER_ERROR_HTTP,
    ADNET_BANNER_ERROR_ANSWER,
    ADNET_BANNER_ERROR_PICTURE,
    ADNET_BANNER_ERROR_OTHER,
} AdnetBannerError;

/**
 * adnet_banner_error_quark:
 *
 * Returns: the #GQuark of %ADNET_BANNER_ERROR.
 */
ADNET_EXPORT GQuark adnet_banner_error_quark(void);

/**
 * ADNET_TYPE_BANNER:
 *
 * The #GType of #AdnetBanner.
 */
#define ADNET_TYPE_BANNER (adnet_banner_get_type())

/**
 * AdnetBanner:
 *
 * A 320 x 48 banner that shows one ad at a time from the AdNet ad network, flips in a
 * fresh one every #AdnetBanner:refresh-interval seconds, and opens the ad's landing screen
 * (a canvas page or an embedded browser) over its window when clicked. Nothing is shown
 * until the first ad has arrived.
 *
 * Actions: `banner.activate` taps the banner (Enter and Space on a focused banner do), and
 * `banner.dismiss-landing` closes an open landing screen (as Escape or its Done button).
 */
ADNET_EXPORT G_DECLARE_FINAL_TYPE(AdnetBanner, adnet_banner, ADNET, BANNER, GtkWidget)

/**
 * AdnetBanner:publisher-id:
 *
 * The publisher identifier the ad network knows the application by. Required.
 */

/**
 * AdnetBanner:refresh-interval:
 *
 * Seconds between fresh ads, counted from the first ad; 0 keeps the first ad.
 */

/**
 * AdnetBanner:test-ads:
 *
 * Whether the ad network is asked for test ads.
 */

/**
 * AdnetBanner:background-color:
 *
 * The background colour of text ads; %NULL for the default (a slate blue).
 */

/**
 * AdnetBanner:text-color:
 *
 * The text colour of text ads; %NULL for the default (white).
 */

/**
 * AdnetBanner:use-embedded-browser:
 *
 * Whether web pages of clicked ads open in the embedded browser (else in the desktop's).
 */

/**
 * AdnetBanner:landing-overlay:
 *
 * The overlay that landing screens cover. Unset, the child of the banner's window is
 * used if it is a #GtkOverlay; else landing screens open a window of their own.
 */

/**
 * AdnetBanner::ad-received:
 * @self: the banner
 *
 * The first ad arrived and is shown. Fresh ads after it are not announced.
 */

/**
 * AdnetBanner::ad-failed:
 * @self: the banner
 * @error: why, in the %ADNET_BANNER_ERROR domain
 *
 * The first ad did not arrive; the banner stays empty.
 */

/**
 * AdnetBanner::landing-will-present:
 * @self: the banner
 * @kind: "canvas" or "web"
 *
 * A landing screen is about to cover the banner's window.
 */

/**
 * AdnetBanner::landing-did-dismiss:
 * @self: the banner
 * @kind: "canvas" or "web"
 *
 * A landing screen has gone.
 */

/**
 * adnet_banner_new:
 * @publisher_id: the publisher identifier the ad network knows the application by
 *
 * Creates a banner; its first ad request starts once it is shown in a window.
 *
 * Returns: (transfer floating): a new #AdnetBanner
 */
ADNET_EXPORT GtkWidget* adnet_banner_new(const char* publisher_id);

/**
 * adnet_banner_get_publisher_id:
 * @self: a banner
 *
 * Returns: (transfer none): the publisher identifier given at construction
 */
ADNET_EXPORT const char* adnet_banner_get_publisher_id(AdnetBanner* self);

/**
 * adnet_banner_get_refresh_interval:
 * @self: a banner
 *
 * Returns: seconds between fresh ads; 0 keeps the first ad
 */
ADNET_EXPORT guint adnet_banner_get_refresh_interval(AdnetBanner* self);

/**
 * adnet_banner_set_refresh_interval:
 * @self: a banner
 * @seconds: seconds between fresh ads, counted from the first ad; 0 never refreshes
 */
ADNET_EXPORT void adnet_banner_set_refresh_interval(AdnetBanner* self, guint seconds);

/**
 * adnet_banner_get_test_ads:
 * @self: a banner
 *
 * Returns: whether the ad network is asked for test ads
 */
ADNET_EXPORT gboolean adnet_banner_get_test_ads(AdnetBanner* self);

/**
 * adnet_banner_set_test_ads:
 * @self: a banner
 * @test_ads: whether to ask for test ads
 */
ADNET_EXPORT void adnet_banner_set_test_ads(AdnetBanner* self, gboolean test_ads);

/**
 * adnet_banner_get_background_color:
 * @self: a banner
 *
 * Returns: (transfer none) (nullable): the banner's background colour, or %NULL for the default
 */
ADNET_EXPORT const GdkRGBA* adnet_banner_get_background_color(AdnetBanner* self);

/**
 * adnet_banner_set_background_color:
 * @self: a banner
 * @color: (nullable): the background colour of text ads, or %NULL for the default
 */
ADNET_EXPORT void adnet_banner_set_background_color(AdnetBanner* self, const GdkRGBA* color);

/**
 * adnet_banner_get_text_color:
 * @self: a banner
 *
 * Returns: (transfer none) (nullable): the banner's text colour, or %NULL for the default
 */
ADNET_EXPORT const GdkRGBA* adnet_banner_get_text_color(AdnetBanner* self);

/**
 * adnet_banner_set_text_color:
 * @self: a banner
 * @color: (nullable): the text colour of text ads, or %NULL for the default (white)
 */
ADNET_EXPORT void adnet_banner_set_text_color(AdnetBanner* self, const GdkRGBA* color);

/**
 * adnet_banner_get_use_embedded_browser:
 * @self: a banner
 *
 * Returns: whether web pages of clicked ads open in the embedded browser
 */
ADNET_EXPORT gboolean adnet_banner_get_use_embedded_browser(AdnetBanner* self);

/**
 * adnet_banner_set_use_embedded_browser:
 * @self: a banner
 * @use_embedded_browser: %TRUE to show web pages in the embedded browser, %FALSE to hand
 *   them to the desktop's browser
 */
ADNET_EXPORT void adnet_banner_set_use_embedded_browser(AdnetBanner* self, gboolean use_embedded_browser);

/**
 * adnet_banner_get_landing_overlay:
 * @self: a banner
 *
 * Returns: (transfer none) (nullable): the overlay landing screens are shown in, if one was set
 */
ADNET_EXPORT GtkOverlay* adnet_banner_get_landing_overlay(AdnetBanner* self);

/**
 * adnet_banner_set_landing_overlay:
 * @self: a banner
 * @overlay: (nullable): the overlay landing screens cover, or %NULL: then the child of
 *   the banner's window if that is a #GtkOverlay, else a window of their own
 */
ADNET_EXPORT void adnet_banner_set_landing_overlay(AdnetBanner* self, GtkOverlay* overlay);

/**
 * adnet_banner_request_fresh_ad:
 * @self: a banner
 *
 * Fetches a replacement ad now and flips it in when it is ready.
 */
ADNET_EXPORT void adnet_banner_request_fresh_ad(AdnetBanner* self);

G_END_DECLS
