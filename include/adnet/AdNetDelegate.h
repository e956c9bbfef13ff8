#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "adnet/AdNetExport.h"

namespace adnet {

class AdNetView;

// A colour as the host gives it: components from 0 to 1, alpha 1 opaque.
struct Color {
    float r{0}, g{0}, b{0}, a{1};
    friend bool operator==(const Color&, const Color&) = default;
};

// A position on the earth in degrees (WGS 84), north and east positive.
struct Coordinate {
    double latitude{0}, longitude{0};
    friend bool operator==(const Coordinate&, const Coordinate&) = default;
};

// The answer of an optional host method where "not implemented" and "implemented, answered
// nothing" lead to different behaviour: notImplemented, std::nullopt, or a value.
struct NotImplemented {
    friend bool operator==(NotImplemented, NotImplemented) = default;
};
inline constexpr NotImplemented notImplemented{};

template <class T> class Answer {
public:
    Answer(NotImplemented) { }
    Answer(std::nullopt_t) : m_implemented(true) { }
    Answer(T value) : m_implemented(true), m_value(std::move(value)) { }
    Answer(std::optional<T> value) : m_implemented(true), m_value(std::move(value)) { }

    bool implemented() const { return m_implemented; }
    // The value answered; empty when not implemented or answered nothing.
    const std::optional<T>& value() const { return m_value; }

private:
    bool m_implemented{false};
    std::optional<T> m_value;
};

// The host application's side of the ad client. publisherId is required; every other method
// is optional, and its default here behaves as "not implemented". Answers are asked anew
// each time they are needed, never cached. The ad client never owns the host object and
// asks it on the main thread only.
class ADNET_EXPORT AdNetDelegate {
public:
    // Out of line: the library holds the class's vtable and type information.
    virtual ~AdNetDelegate();

    // Sent to the ad server as "s". Required.
    virtual std::string publisherId() = 0;

    // Banner colours; nullopt takes the default (a slate blue background, white text).
    virtual std::optional<Color> adBackgroundColor() { return std::nullopt; }
    virtual std::optional<Color> adTextColor() { return std::nullopt; }
    // nullopt: not implemented (a white spinner).
    virtual std::optional<bool> useGraySpinner() { return std::nullopt; }

    // Targeting. mayAskForLocation gates both location sources. location(): notImplemented
    // lets the ad client use the device's location service; std::nullopt sends no location.
    virtual std::optional<bool> mayAskForLocation() { return std::nullopt; }
    virtual Answer<Coordinate> location() { return notImplemented; }
    virtual std::optional<bool> useTestAd() { return std::nullopt; }
    virtual std::optional<std::string> postalCode() { return std::nullopt; }
    virtual std::optional<std::string> areaCode() { return std::nullopt; }
    virtual std::optional<std::string> gender() { return std::nullopt; }
    virtual std::optional<std::chrono::system_clock::time_point> dateOfBirth() { return std::nullopt; }
    virtual std::optional<std::string> searchString() { return std::nullopt; }
    virtual std::optional<std::string> keywords() { return std::nullopt; }

    // Web pages of clicked ads. nullopt (not implemented) counts as YES: the embedded browser.
    virtual std::optional<bool> useEmbeddedWebView() { return std::nullopt; }
    // Shows a web page itself; return false to say "not implemented" (the platform opens it).
    virtual bool presentWebView(const std::string& url)
    {
        (void)url;
        return false;
    }
    virtual std::optional<Color> embeddedWebViewTintColor() { return std::nullopt; }
    virtual std::optional<int> embeddedWebViewBarStyle() { return std::nullopt; }

    // Landing screens and the first ad.
    virtual void willPresentModalCanvas() { }
    virtual void didDismissModalCanvas() { }
    virtual void willPresentWebView() { }
    virtual void didDismissWebView() { }
    virtual void didReceiveAd(AdNetView& view) { (void)view; }
    virtual void didFailToReceiveAd(AdNetView& view) { (void)view; }

    // The ad server's request endpoint. notImplemented takes the configured default; an
    // implemented method that answers nothing (or an empty string) gets no ad.
    virtual Answer<std::string> adserverEndpoint() { return notImplemented; }
};

} // namespace adnet
