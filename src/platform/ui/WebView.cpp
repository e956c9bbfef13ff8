#include "platform/ui/WebView.h"

#include "platform/core/RunLoop.h"
#include "platform/core/Text.h"
#include "platform/device/Services.h"
#include "platform/gfx/Canvas.h"

namespace platform {

namespace {

// The first `characters` characters of UTF-8 text, never cutting one in two.
std::string firstCharacters(std::string text, std::size_t characters)
{
    std::size_t i = 0;
    for (std::size_t n = 0; n < characters && i < text.size(); ++n)
        decodeUTF8(text, i);
    text.resize(i);
    return text;
}

} // namespace

std::shared_ptr<WebView> WebView::create(const Rect& frame)
{
    return std::shared_ptr<WebView>(new WebView(frame));
}

void WebView::prepareEngine()
{
    if (const auto& prepare = services().prepareWebEngine)
        prepare();
}

WebView::WebView(const Rect& frame) : View(frame)
{
    if (const auto& make = services().webEngine)
        m_engine = make();
    if (m_engine)
        m_engine->setClient(this);
}

WebView::~WebView()
{
    // The engine must not report to a view that is being destroyed.
    if (m_engine)
        m_engine->setClient(nullptr);
}

void WebView::loadRequest(const URLRequest& request)
{
    if (!m_engine) {
        failWithoutEngine(request);
        return;
    }
    m_engine->load(request);
}

void WebView::failWithoutEngine(const URLRequest& request)
{
    // Reported like any failed load, on the loop: a caller waiting for the outcome of its
    // load hears it instead of waiting for ever.
    ++m_loadsWithoutEngine;
    std::weak_ptr<WebView> weak = weakAs<WebView>();
    RunLoop::main().post([weak, url = request.url] {
        auto self = weak.lock();
        if (!self)
            return;
        self->engineDidStartLoad();
        --self->m_loadsWithoutEngine;
        self->engineDidFailLoad({urlerror::unknown, urlerror::domain, "no web engine is installed", url});
    });
}

std::optional<URLRequest> WebView::request() const
{
    return m_engine ? m_engine->request() : std::nullopt;
}

std::string WebView::title() const
{
    // Whoever wrote the page chose the title: what is shown of it is bounded here, for
    // every engine.
    return m_engine ? firstCharacters(m_engine->title(), kMaxTitleCharacters) : std::string();
}

bool WebView::isLoading() const
{
    return m_engine ? m_engine->isLoading() : m_loadsWithoutEngine > 0;
}

bool WebView::canGoBack() const
{
    return m_engine && m_engine->canGoBack();
}

bool WebView::canGoForward() const
{
    return m_engine && m_engine->canGoForward();
}

void WebView::goBack()
{
    if (m_engine)
        m_engine->goBack();
}

void WebView::goForward()
{
    if (m_engine)
        m_engine->goForward();
}

void WebView::reload()
{
    if (m_engine)
        m_engine->reload();
}

void WebView::stopLoading()
{
    if (m_engine)
        m_engine->stopLoading();
}

void WebView::setScalesPageToFit(bool scales)
{
    m_scalesPageToFit = scales;
    if (m_engine)
        m_engine->setScalesPageToFit(scales);
}

void WebView::evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done)
{
    if (m_engine) {
        m_engine->evaluateJavaScript(std::move(script), std::move(done));
        return;
    }
    if (done)
        RunLoop::main().post([done = std::move(done)] { done(std::nullopt); });
}

bool WebView::showsNativeContent() const
{
    return m_engine && m_engine->rendersNatively();
}

void WebView::didMoveToWindow()
{
    if (m_engine)
        m_engine->placementChanged();
}

void WebView::draw(Canvas& canvas, const Rect& dirty)
{
    if (showsNativeContent())
        return;
    // A plain page: white, a thin grey edge, the title (or the URL) in the middle.
    const Rect b = bounds();
    canvas.setFillColor(Color::white(1));
    canvas.fillRect(b);
    canvas.setStrokeColor(Color::white(0.75f));
    canvas.setLineWidth(1);
    canvas.strokeRect({b.x() + 0.5f, b.y() + 0.5f, b.width() - 1, b.height() - 1});
    std::string label = title();
    if (label.empty())
        if (auto shown = request())
            label = shown->url;
    if (label.empty())
        return;
    label = firstCharacters(std::move(label), 200);
    const Font font = Font::system(12);
    const Float height = font.lineHeight() * 2;
    canvas.setFillColor(Color::white(0.45f));
    canvas.drawText(label, {b.x() + 8, b.midY() - height / 2, b.width() - 16, height}, font, TextAlignment::Center);
    (void)dirty;
}

// ---- engine reports ---------------------------------------------------------------------

bool WebView::engineShouldStartLoad(const URLRequest& request, WebViewNavigationType type)
{
    auto self = sharedAs<WebView>();
    auto delegate = m_delegate.lock();
    return !delegate || delegate->webViewShouldStartLoad(*this, request, type);
}

void WebView::engineDidStartLoad()
{
    auto self = sharedAs<WebView>();
    setNeedsDisplay();
    if (auto delegate = m_delegate.lock())
        delegate->webViewDidStartLoad(*this);
}

void WebView::engineDidFinishLoad()
{
    auto self = sharedAs<WebView>();
    setNeedsDisplay();
    if (auto delegate = m_delegate.lock())
        delegate->webViewDidFinishLoad(*this);
}

void WebView::engineDidFailLoad(const WebError& error)
{
    auto self = sharedAs<WebView>();
    setNeedsDisplay();
    if (auto delegate = m_delegate.lock())
        delegate->webViewDidFailLoad(*this, error);
}

void WebView::engineStateChanged()
{
    setNeedsDisplay();
}

std::optional<WebPlacement> WebView::enginePlacement(double now) const
{
    if (!window())
        return std::nullopt;
    // The page's rectangle carried up to the window through every ancestor's shown (not
    // model) geometry, so it moves with running animations.
    const Rect own = presentationBounds(now);
    Point origin = own.origin;
    Float alpha = 1;
    for (const View* v = this; v;) {
        if (v->isHidden())
            return std::nullopt;
        alpha *= v->presentationAlpha(now);
        auto parent = v->superview();
        if (!parent)
            break;
        const Rect b = v->presentationBounds(now);
        const Point c = v->presentationCenter(now);
        origin = {origin.x - b.x() + c.x - b.width() / 2, origin.y - b.y() + c.y - b.height() / 2};
        v = parent.get();
    }
    return WebPlacement{{origin, own.size}, alpha};
}

} // namespace platform
