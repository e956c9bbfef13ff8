#include "adnet/AdNetSingleAdView.h"

#include "adnet/AdNetAd.h"
#include "adnet/AdNetController.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetLocalization.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Layer.h"
#include "platform/ui/WebView.h"

namespace adnet {

using platform::Float;

namespace {

// Geometry is single precision throughout, so edges land where the layout says.
constexpr Float kMargin = 4.0f;
constexpr Float kGap = 8.0f;
constexpr Float kIconRadius = 6.5f;
constexpr Float kAttributionMaxTextHeight = 24.0f;
constexpr Float kAttributionSpacing = 4.0f;
constexpr Float kShineEnd = 0.4375f;
constexpr const char* kAttribution = "Ads by AdNet";

constexpr int kSpinnerTag = 2;
constexpr int kHighlightTag = 3;
constexpr platform::Color kHighlightColor = platform::Color::white(0.5f, 0.5f);
constexpr const char* kPulseKey = "AdNetPulseAnimation";
constexpr double kPulseDuration = 0.5;
constexpr double kSpinnerDelay = 0.3;
constexpr double kRestoreDelay = 0.3;
constexpr double kShrunk = 0.1;

void cancel(std::shared_ptr<platform::Timer>& timer)
{
    if (timer)
        timer->invalidate();
    timer.reset();
}

// Angles of the bevel's corner arcs, as single-precision values.
constexpr Float kQuarter = 1.5707964f;      // pi / 2
constexpr Float kThreeEighths = 2.3561945f; // 3 pi / 4
constexpr Float kHalf = 3.1415927f;         // pi
constexpr Float kThreeQuarters = 4.712389f; // 3 pi / 2
constexpr Float kSevenEighths = 5.4977875f; // 7 pi / 4
constexpr Float kWhole = 6.2831855f;        // 2 pi

const platform::Font& textFont()
{
    static const platform::Font font = platform::Font::named("Helvetica-Bold", 13.0f);
    return font;
}

const platform::Font& attributionFont()
{
    static const platform::Font font = platform::Font::named("Helvetica", 9.5f);
    return font;
}

} // namespace

std::shared_ptr<AdNetSingleAdView> AdNetSingleAdView::create(const platform::Rect& frame)
{
    return std::shared_ptr<AdNetSingleAdView>(new AdNetSingleAdView(frame));
}

AdNetSingleAdView::AdNetSingleAdView(const platform::Rect& frame) : platform::View(frame)
{
    setOpaque(true);
}

AdNetSingleAdView::~AdNetSingleAdView()
{
    cancel(m_addSpinnerTimer);
    cancel(m_removeSpinnerTimer);
}

void AdNetSingleAdView::setAd(std::shared_ptr<AdNetAd> ad)
{
    m_ad = std::move(ad);
    layer()->setSublayers({});
    setActionIcon(m_ad ? m_ad->actionImage() : nullptr);
}

void AdNetSingleAdView::setActionIcon(const std::shared_ptr<platform::Image>& image)
{
    // An ad without an action icon still gets its (empty) layer, so a click can run as usual.
    auto icon = platform::Layer::create();
    icon->setFrame(actionIconFrame(image ? image->size() : platform::Size{}));
    icon->setContents(image);
    layer()->addSublayer(icon);
    m_actionIconLayer = icon;
}

// 4 points from the right edge, centred vertically.
platform::Rect AdNetSingleAdView::actionIconFrame(platform::Size size) const
{
    const platform::Rect frame = this->frame();
    return {frame.width() - kMargin - size.width, (frame.height() - size.height) * 0.5f, size.width, size.height};
}

// ---- drawing ------------------------------------------------------------------------------

void AdNetSingleAdView::draw(platform::Canvas& canvas, const platform::Rect&)
{
    if (!m_ad || !m_ad->readyForDisplay())
        return;
    if (m_ad->medium() == AdNetAd::BannerAd) {
        if (const auto& picture = m_ad->userImage())
            canvas.drawImage(*picture, platform::Point{0, 0});
        return;
    }
    drawShineBackground(canvas, m_ad->backgroundColor());
    if (m_ad->medium() != AdNetAd::TextAd)
        return;

    const platform::Rect frame = this->frame();
    const Float width = frame.width(), height = frame.height();
    platform::Size iconRoom{};
    if (const auto& icon = m_ad->userImage()) {
        iconRoom = sizeWithBevelsAndRoundedCornersForImage(*icon);
        drawImageWithBevelsAndRoundedCorners(canvas, *icon, {kMargin, (height - iconRoom.height) * 0.5f}, kIconRadius);
    }

    const Float actionWidth = m_ad->actionImage() ? m_ad->actionImage()->size().width : 0.0f;
    const Float textLeft = iconRoom.width + kMargin + kGap;
    const Float textRight = (width - kMargin) - actionWidth - kGap;
    const std::string& text = m_ad->text() ? *m_ad->text() : std::string();
    const platform::Size textSize = textFont().measure(text, {textRight - textLeft, height});

    const bool attribution = textSize.height <= kAttributionMaxTextHeight;
    platform::Size attributionSize{};
    Float blockHeight = textSize.height;
    if (attribution) {
        attributionSize = attributionFont().measure(kAttribution);
        blockHeight = textSize.height + kAttributionSpacing + attributionSize.height;
    }
    const Float blockTop = (height - blockHeight) * 0.5f;

    canvas.setFillColor(m_ad->textColor());
    canvas.drawText(text, {textLeft, blockTop, textSize.width, textSize.height}, textFont());
    if (attribution)
        canvas.drawText(kAttribution,
                        {textRight - attributionSize.width, blockTop + textSize.height + kAttributionSpacing,
                         attributionSize.width, attributionSize.height},
                        attributionFont());
}

void AdNetSingleAdView::drawShineBackground(platform::Canvas& canvas, const platform::Color& base) const
{
    const platform::Rect frame = this->frame();
    const Float width = frame.width(), height = frame.height();
    platform::Gradient shine{{base.withAlpha(0.5f), base}, {0.0f, 1.0f}};
    canvas.setFillColor(platform::Color::white(1.0f));
    canvas.fillRect({0, 0, width, height});
    // Only the end colour runs on past the end: everything below the shine is the base.
    canvas.drawLinearGradient(shine, {width * 0.5f, 0}, {width * 0.5f, height * kShineEnd},
                              platform::DrawsAfterEndLocation);
}

platform::Size AdNetSingleAdView::sizeWithBevelsAndRoundedCornersForImage(const platform::Image& image)
{
    const platform::Size size = image.size();
    return {size.width + 1.0f, size.height + 1.0f};
}

void AdNetSingleAdView::drawImageWithBevelsAndRoundedCorners(platform::Canvas& canvas, const platform::Image& image,
                                                             platform::Point point, Float radius)
{
    const platform::Size size = image.size();
    const Float x = point.x, y = point.y, w = size.width, h = size.height, r = radius;

    // The picture, clipped half a point inside the bevel with a slightly larger radius.
    canvas.isolated([&] {
        const Float left = x + 0.5f, top = y + 0.5f, right = left + w, bottom = top + h, k = r + 0.5f;
        canvas.beginPath();
        canvas.moveTo(left, top + k);
        canvas.addArcToPoint(left, bottom, left + k, bottom, k);
        canvas.addArcToPoint(right, bottom, right, bottom - k, k);
        canvas.addArcToPoint(right, top, right - k, top, k);
        canvas.addArcToPoint(left, top, left, top + k, k);
        canvas.clip();
        canvas.drawImage(image, point);
    });

    const Float xl = x + 0.25f, yt = y + 0.25f, xr = x + w + 0.75f, yb = y + h + 0.75f;
    const Float cxl = xl + r, cxr = xr - r, cyt = yt + r, cyb = yb - r;
    const platform::Color dark = platform::Color::white(0.4f, 1.0f);
    const platform::Color light = platform::Color::white(0.937f, 1.0f);
    canvas.isolated([&] {
        canvas.setLineWidth(0.5f);
        // Left edge, top-left corner, top edge and the first half of the top-right corner.
        canvas.setStrokeColor(dark);
        canvas.beginPath();
        canvas.moveTo(xl, cyb);
        canvas.addArcToPoint(xl, yt, cxl, yt, r);
        canvas.addArc(cxr, cyt, r, kThreeQuarters, kSevenEighths, false);
        canvas.strokePath();
        // The rest of that corner, the right and bottom edges, half the bottom-left corner.
        canvas.setStrokeColor(light);
        canvas.beginPath();
        canvas.addArc(cxr, cyt, r, kSevenEighths, kWhole, false);
        canvas.addArcToPoint(xr, yb, cxr, yb, r);
        canvas.addArc(cxl, cyb, r, kQuarter, kThreeEighths, false);
        canvas.strokePath();
        // The other half of the bottom-left corner.
        canvas.setStrokeColor(dark);
        canvas.beginPath();
        canvas.addArc(cxl, cyb, r, kThreeEighths, kHalf, false);
        canvas.strokePath();
    });
}

// ---- touches ------------------------------------------------------------------------------

void AdNetSingleAdView::touchesBegan(const platform::TouchSet&, const platform::TouchEvent&)
{
    setTouched(true);
    // Most clicks end in a landing page: what it needs loads while the finger rests.
    platform::WebView::prepareEngine();
}

void AdNetSingleAdView::touchesMoved(const platform::TouchSet& touches, const platform::TouchEvent&)
{
    if (const platform::Touch* touch = touches.anyObject())
        setTouched(touchIsInSelf(*touch));
}

platform::Accessibility AdNetSingleAdView::accessibility() const
{
    platform::Accessibility a;
    a.role = platform::AccessibleRole::Button;
    a.description = localizedString("Advertisement");
    a.label = m_ad && m_ad->text() && !m_ad->text()->empty() ? *m_ad->text() : a.description;
    a.busy = m_animatingForClick;
    return a;
}

void AdNetSingleAdView::touchesEnded(const platform::TouchSet& touches, const platform::TouchEvent&)
{
    setTouched(false);
    const platform::Touch* touch = touches.anyObject();
    if (!touch || !touchIsInSelf(*touch))
        return;
    auto adView = std::dynamic_pointer_cast<AdNetViewInternal>(superview());
    if (!adView || !adView->controller())
        return;
    auto self = sharedAs<AdNetSingleAdView>();
    auto controller = adView->controller();
    controller->click(*this);
}

void AdNetSingleAdView::touchesCancelled(const platform::TouchSet&, const platform::TouchEvent&)
{
    setTouched(false);
}

bool AdNetSingleAdView::touchIsInSelf(const platform::Touch& touch) const
{
    const platform::Rect frame = this->frame();
    return platform::Rect{0, 0, frame.width(), frame.height()}.contains(touch.locationInView(this));
}

void AdNetSingleAdView::setTouched(bool touched)
{
    if (touched == m_touched)
        return;
    if (touched) {
        const platform::Rect frame = this->frame();
        auto highlight = platform::View::create({0, 0, frame.width(), frame.height()});
        highlight->setBackgroundColor(kHighlightColor);
        highlight->setTag(kHighlightTag);
        addSubview(highlight);
    } else if (auto highlight = viewWithTag(kHighlightTag); highlight && highlight.get() != this) {
        highlight->removeFromSuperview();
    }
    m_touched = touched;
    reportAdNetEvent(touched ? "highlight on" : "highlight off");
}

// ---- the click sequence -------------------------------------------------------------------

void AdNetSingleAdView::animateActionIconForClick()
{
    // The icon is away from the end of a pulse until its restore: a tap in that time, or
    // during the pulse, belongs to the running sequence, which brings the icon back.
    auto icon = m_actionIconLayer.lock();
    if (m_animatingForClick || !icon)
        return;
    m_animatingForClick = true;
    auto pulse = platform::KeyframeAnimation::create("transform");
    pulse->keyTimes = {0.0, 0.4, 1.0};
    pulse->values = {platform::Transform::scale(1, 1), platform::Transform::scale(1.4, 1.4),
                     platform::Transform::scale(kShrunk, kShrunk)};
    pulse->setDuration(kPulseDuration);
    pulse->setRemovedOnCompletion(false);
    pulse->setDelegate(sharedAs<AdNetSingleAdView>());
    icon->addAnimation(pulse, kPulseKey);
    // Stays shrunk once the animation is over.
    icon->setTransform(platform::Transform::scale(kShrunk, kShrunk));
    reportAdNetEvent("pulse start");
    // A finish report that came before the pulse (a click that failed at once) waits for
    // the spinner like one that comes during it; a restore now would pull the icon from
    // under the pulse and leave the spinner that follows for ever.
    if (m_removeSpinnerTimer) {
        cancel(m_removeSpinnerTimer);
        m_removeSpinnerRequested = true;
    }
}

void AdNetSingleAdView::animationDidStop(platform::LayerAnimation&, bool)
{
    if (!m_animatingForClick)
        return;
    reportAdNetEvent("pulse end");
    const auto& image = m_ad ? m_ad->actionImage() : nullptr;
    platform::Point centre = actionIconFrame(image ? image->size() : platform::Size{}).center();
    if (auto icon = m_actionIconLayer.lock()) {
        centre = icon->frame().center();
        icon->removeFromSuperlayer();
    }
    m_actionIconLayer.reset();
    cancel(m_addSpinnerTimer);
    std::weak_ptr<AdNetSingleAdView> weak = sharedAs<AdNetSingleAdView>();
    m_addSpinnerTimer = platform::Timer::schedule(kSpinnerDelay, false, [weak, centre](platform::Timer& timer) {
        if (auto self = weak.lock())
            self->addSpinner(centre, timer);
    });
}

void AdNetSingleAdView::addSpinner(platform::Point centre, platform::Timer& timer)
{
    const bool gray = m_ad && m_ad->spinnerStyle() == AdNetAd::GraySpinner;
    auto spinner = platform::ActivityIndicator::create(gray ? platform::ActivityIndicatorStyle::Gray
                                                            : platform::ActivityIndicatorStyle::White);
    spinner->setCenter(centre);
    spinner->setTag(kSpinnerTag);
    addSubview(spinner);
    spinner->startAnimating();
    reportAdNetEvent("spinner on");
    m_animatingForClick = false;
    if (m_removeSpinnerRequested) {
        cancel(m_removeSpinnerTimer);
        m_removeSpinnerTimer = scheduleRestore();
    }
    if (&timer == m_addSpinnerTimer.get())
        cancel(m_addSpinnerTimer);
}

void AdNetSingleAdView::removeSpinnerAndRestoreActionIcon()
{
    if (m_animatingForClick) {
        m_removeSpinnerRequested = true;
        return;
    }
    cancel(m_removeSpinnerTimer);
    m_removeSpinnerTimer = scheduleRestore();
}

std::shared_ptr<platform::Timer> AdNetSingleAdView::scheduleRestore()
{
    std::weak_ptr<AdNetSingleAdView> weak = sharedAs<AdNetSingleAdView>();
    return platform::Timer::schedule(kRestoreDelay, false, [weak](platform::Timer& timer) {
        if (auto self = weak.lock())
            self->removeSpinnerAndRestoreActionIconDelayed(timer);
    });
}

void AdNetSingleAdView::removeSpinnerAndRestoreActionIconDelayed(platform::Timer& timer)
{
    bool removed = false;
    while (auto spinner = viewWithTag(kSpinnerTag)) {
        if (spinner.get() == this)
            break;
        spinner->removeFromSuperview();
        removed = true;
    }
    layer()->setSublayers({});
    setActionIcon(m_ad ? m_ad->actionImage() : nullptr);
    m_removeSpinnerRequested = false;
    if (&timer == m_removeSpinnerTimer.get())
        cancel(m_removeSpinnerTimer);
    if (removed)
        reportAdNetEvent("spinner off");
}

} // namespace adnet
