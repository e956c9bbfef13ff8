#include "platform/ui/Bars.h"

#include <cmath>
#include <numbers>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Control.h"

namespace platform {

namespace {

constexpr Float kMargin = 6;
constexpr Float kGap = 8;
constexpr Float kBorderedHeight = 30;
constexpr Float kGlyphWidth = 30;

const Font& itemFont()
{
    static const Font font = Font::boldSystem(12);
    return font;
}

std::string wordFor(BarButtonSystemItem item)
{
    switch (item) {
    case BarButtonSystemItem::Done:
        return "Done";
    case BarButtonSystemItem::Cancel:
        return "Cancel";
    case BarButtonSystemItem::Edit:
        return "Edit";
    case BarButtonSystemItem::Save:
        return "Save";
    default:
        return {};
    }
}

Color lighter(const Color& c, float amount)
{
    return Color::rgba(c.red + (1 - c.red) * amount, c.green + (1 - c.green) * amount, c.blue + (1 - c.blue) * amount,
                       c.alpha);
}

// One item on a bar: draws the item and sends it on a tap.
class BarItemView final : public Control {
public:
    static std::shared_ptr<BarItemView> create(const std::shared_ptr<BarButtonItem>& item)
    {
        auto view = std::shared_ptr<BarItemView>(new BarItemView(item));
        std::weak_ptr<BarItemView> weak = view;
        view->addAction(
            [weak](Control&) {
                if (auto v = weak.lock())
                    if (auto i = v->m_item.lock())
                        i->send();
            },
            TouchUpInside);
        return view;
    }

    void draw(Canvas& canvas, const Rect&) override
    {
        auto item = m_item.lock();
        if (!item)
            return;
        const Rect b = bounds();
        const bool bordered = item->style() != BarButtonItemStyle::Plain;
        canvas.save();
        if (!isEnabled())
            canvas.setAlpha(0.4f);
        if (bordered) {
            Rect box = b.insetBy(0, (b.height() - kBorderedHeight) / 2);
            canvas.beginPath();
            canvas.addRoundedRect(box, 5);
            canvas.setFillColor(item->style() == BarButtonItemStyle::Done ? Color::rgba(0.2f, 0.4f, 0.85f)
                                                                          : Color::white(0, 0.25f));
            canvas.fillPath();
            canvas.beginPath();
            canvas.addRoundedRect(box.insetBy(0.5f, 0.5f), 5);
            canvas.setStrokeColor(Color::white(0, 0.5f));
            canvas.setLineWidth(1);
            canvas.strokePath();
        }
        std::string word = item->title().value_or(item->systemItem() ? wordFor(*item->systemItem()) : "");
        if (item->image()) {
            Size s = item->image()->size();
            canvas.drawImage(*item->image(), Rect{b.midX() - s.width / 2, b.midY() - s.height / 2, s.width, s.height});
        } else if (!word.empty()) {
            Size s = itemFont().measure(word);
            canvas.setFillColor(Color::white(1));
            canvas.drawText(word, Rect{b.x(), b.midY() - s.height / 2, b.width(), s.height}, itemFont(),
                            TextAlignment::Center);
        } else if (item->systemItem()) {
            drawGlyph(canvas, *item->systemItem(), b);
        }
        if (isHighlighted()) {
            canvas.setFillColor(Color::white(1, 0.3f));
            canvas.beginPath();
            canvas.addRoundedRect(b.insetBy(2, 4), 6);
            canvas.fillPath();
        }
        canvas.restore();
    }

    Accessibility accessibility() const override
    {
        Accessibility a = Control::accessibility();
        auto item = m_item.lock();
        if (a.role == AccessibleRole::None)
            a.role = AccessibleRole::Button;
        if (item && a.label.empty())
            a.label = !item->accessibilityLabel().empty() ? item->accessibilityLabel()
                      : item->title()                     ? *item->title()
                      : item->systemItem()                ? wordFor(*item->systemItem())
                                                          : std::string();
        return a;
    }

private:
    explicit BarItemView(const std::shared_ptr<BarButtonItem>& item) : Control(Rect{}), m_item(item)
    {
        setOpaque(false);
        setEnabled(item->isEnabled());
    }

    static void drawGlyph(Canvas& c, BarButtonSystemItem glyph, const Rect& b)
    {
        const Float x = b.midX(), y = b.midY();
        c.setStrokeColor(Color::white(1));
        c.setFillColor(Color::white(1));
        c.setLineWidth(2.5f);
        c.beginPath();
        switch (glyph) {
        case BarButtonSystemItem::Stop:
            c.moveTo(x - 7, y - 7);
            c.lineTo(x + 7, y + 7);
            c.moveTo(x + 7, y - 7);
            c.lineTo(x - 7, y + 7);
            c.strokePath();
            break;
        case BarButtonSystemItem::Add:
            c.moveTo(x - 8, y);
            c.lineTo(x + 8, y);
            c.moveTo(x, y - 8);
            c.lineTo(x, y + 8);
            c.strokePath();
            break;
        case BarButtonSystemItem::Refresh: {
            c.addArc(x, y, 8, Float(-std::numbers::pi / 3), Float(4 * std::numbers::pi / 3), false);
            c.strokePath();
            // The arrow head at the arc's start, pointing along it.
            Float ax = x + 8 * std::cos(Float(-std::numbers::pi / 3));
            Float ay = y + 8 * std::sin(Float(-std::numbers::pi / 3));
            c.beginPath();
            c.moveTo(ax - 5, ay - 4);
            c.lineTo(ax + 3, ay - 3);
            c.lineTo(ax, ay + 5);
            c.closePath();
            c.fillPath();
            break;
        }
        case BarButtonSystemItem::Action:
            // A tray with an arrow leaving it.
            c.moveTo(x - 2, y - 7);
            c.lineTo(x - 9, y - 7);
            c.lineTo(x - 9, y + 8);
            c.lineTo(x + 8, y + 8);
            c.lineTo(x + 8, y + 2);
            c.strokePath();
            c.beginPath();
            c.moveTo(x - 4, y + 3);
            c.addArcToPoint(x - 2, y - 5, x + 6, y - 5, 6);
            c.lineTo(x + 6, y - 5);
            c.strokePath();
            c.beginPath();
            c.moveTo(x + 9, y - 5);
            c.lineTo(x + 4, y - 10);
            c.lineTo(x + 4, y);
            c.closePath();
            c.fillPath();
            break;
        default:
            c.addArc(x, y, 4, 0, Float(2 * std::numbers::pi), false);
            c.fillPath();
            break;
        }
    }

    std::weak_ptr<BarButtonItem> m_item;
};

} // namespace

// ---- Bar ---------------------------------------------------------------------------------

Bar::Bar(const Rect& frame) : View(frame)
{
}

void Bar::setBarStyle(BarStyle style)
{
    if (style == m_style)
        return;
    m_style = style;
    notify(ViewChange::Content);
}

void Bar::setTintColor(std::optional<Color> tint)
{
    if (tint == m_tint)
        return;
    m_tint = tint;
    notify(ViewChange::Content);
}

void Bar::draw(Canvas& canvas, const Rect&)
{
    const Rect b = bounds();
    Color top, bottom;
    if (m_tint) {
        top = lighter(*m_tint, 0.35f);
        bottom = *m_tint;
    } else if (m_style == BarStyle::Default) {
        top = Color::rgba(0.69f, 0.74f, 0.80f);
        bottom = Color::rgba(0.43f, 0.52f, 0.64f);
    } else {
        top = Color::white(0.3f);
        bottom = Color::white(0.05f);
    }
    if (m_style == BarStyle::BlackTranslucent) {
        top = top.withAlpha(0.6f);
        bottom = bottom.withAlpha(0.6f);
    }
    canvas.drawLinearGradient({{top, bottom}, {0, 1}}, {0, b.y()}, {0, b.maxY()},
                              DrawsBeforeStartLocation | DrawsAfterEndLocation);
    canvas.setFillColor(Color::white(0, 0.35f));
    canvas.fillRect({b.x(), b.maxY() - 1, b.width(), 1});
}

std::shared_ptr<View> Bar::makeItemView(const std::shared_ptr<BarButtonItem>& item)
{
    auto view = BarItemView::create(item);
    std::weak_ptr<BarItemView> weakView = view;
    std::weak_ptr<BarButtonItem> weakItem = item;
    // The same item object may sit in one bar several times (spaces); it follows the
    // last view made for it, which is all a changing item needs.
    item->setChangeHandler([weakView, weakItem] {
        auto v = weakView.lock();
        auto i = weakItem.lock();
        if (v && i) {
            v->setEnabled(i->isEnabled());
            v->setNeedsDisplay();
        }
    });
    return view;
}

Float Bar::itemWidth(const BarButtonItem& item) const
{
    if (item.width() > 0)
        return item.width();
    if (item.isSpace())
        return 0;
    if (item.image())
        return item.image()->size().width + 14;
    std::string word = item.title().value_or(item.systemItem() ? wordFor(*item.systemItem()) : "");
    if (!word.empty())
        return itemFont().measure(word).width + 20;
    return kGlyphWidth;
}

// ---- Toolbar -----------------------------------------------------------------------------

std::shared_ptr<Toolbar> Toolbar::create(const Rect& frame)
{
    return std::shared_ptr<Toolbar>(new Toolbar(frame));
}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items)
{
    for (auto& view : m_itemViews)
        if (view)
            view->removeFromSuperview();
    m_itemViews.clear();
    m_items.clear();
    for (auto& item : items)
        if (item)
            m_items.push_back(std::move(item));
    for (const auto& item : m_items) {
        if (item->isSpace()) {
            m_itemViews.push_back(nullptr);
            continue;
        }
        auto view = makeItemView(item);
        addSubview(view);
        m_itemViews.push_back(view);
    }
    layout();
}

std::shared_ptr<View> Toolbar::viewForItemAt(std::size_t index) const
{
    return index < m_itemViews.size() ? m_itemViews[index] : nullptr;
}

void Toolbar::layout()
{
    const Rect b = bounds();
    Float fixed = 0;
    int flexible = 0;
    for (const auto& item : m_items) {
        if (item->isFlexibleSpace() && item->width() <= 0)
            ++flexible;
        else
            fixed += itemWidth(*item);
    }
    const Float gaps = m_items.empty() ? 0 : kGap * Float(m_items.size() - 1);
    const Float spare = std::max<Float>(0, b.width() - 2 * kMargin - fixed - gaps);
    const Float share = flexible ? spare / Float(flexible) : 0;
    Float x = b.x() + kMargin;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const auto& item = *m_items[i];
        Float w = item.isFlexibleSpace() && item.width() <= 0 ? share : itemWidth(item);
        if (m_itemViews[i])
            m_itemViews[i]->setFrame({x, b.y(), w, b.height()});
        x += w + kGap;
    }
}

// ---- NavigationItem and NavigationBar ----------------------------------------------------

std::shared_ptr<NavigationItem> NavigationItem::create(std::string title)
{
    auto item = std::shared_ptr<NavigationItem>(new NavigationItem());
    item->m_title = std::move(title);
    return item;
}

void NavigationItem::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    changed();
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item)
{
    m_left = std::move(item);
    changed();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item)
{
    m_right = std::move(item);
    changed();
}

std::shared_ptr<NavigationBar> NavigationBar::create(const Rect& frame)
{
    return std::shared_ptr<NavigationBar>(new NavigationBar(frame));
}

void NavigationBar::setItems(std::vector<std::shared_ptr<NavigationItem>> items)
{
    for (auto& old : m_items)
        old->setChangeHandler(nullptr);
    m_items.clear();
    for (auto& item : items)
        if (item)
            m_items.push_back(std::move(item));
    if (auto top = topItem()) {
        std::weak_ptr<NavigationBar> weak = sharedAs<NavigationBar>();
        top->setChangeHandler([weak] {
            if (auto bar = weak.lock())
                bar->refresh();
        });
    }
    refresh();
}

void NavigationBar::pushNavigationItem(std::shared_ptr<NavigationItem> item)
{
    auto items = m_items;
    items.push_back(std::move(item));
    setItems(std::move(items));
}

std::shared_ptr<NavigationItem> NavigationBar::popNavigationItem()
{
    if (m_items.empty())
        return nullptr;
    auto items = m_items;
    auto popped = items.back();
    items.pop_back();
    setItems(std::move(items));
    return popped;
}

void NavigationBar::refresh()
{
    if (m_left)
        m_left->removeFromSuperview();
    if (m_right)
        m_right->removeFromSuperview();
    m_left.reset();
    m_right.reset();
    auto top = topItem();
    const Rect b = bounds();
    if (top && top->leftBarButtonItem()) {
        m_left = makeItemView(top->leftBarButtonItem());
        m_left->setFrame({b.x() + 5, b.y(), itemWidth(*top->leftBarButtonItem()), b.height()});
        insertSubview(m_left, 0); // under anything a host adds to the bar
    }
    if (top && top->rightBarButtonItem()) {
        Float w = itemWidth(*top->rightBarButtonItem());
        m_right = makeItemView(top->rightBarButtonItem());
        m_right->setFrame({b.maxX() - 5 - w, b.y(), w, b.height()});
        insertSubview(m_right, 0);
    }
    notify(ViewChange::Content);
}

void NavigationBar::draw(Canvas& canvas, const Rect& dirty)
{
    Bar::draw(canvas, dirty);
    auto top = topItem();
    if (!top || top->title().empty())
        return;
    const Rect b = bounds();
    // The title keeps clear of the items on both sides.
    Float side = 10;
    if (m_left)
        side = std::max(side, m_left->frame().maxX() - b.x() + 6);
    if (m_right)
        side = std::max(side, b.maxX() - m_right->frame().x() + 6);
    static const Font titleFont = Font::boldSystem(20);
    Size s = titleFont.measure(top->title());
    canvas.setFillColor(Color::white(1));
    canvas.drawText(top->title(), Rect{b.x() + side, b.midY() - s.height / 2, b.width() - 2 * side, s.height},
                    titleFont, TextAlignment::Center);
}

Accessibility NavigationBar::accessibility() const
{
    Accessibility a = View::accessibility();
    auto top = topItem();
    if (a.role == AccessibleRole::None && top && !top->title().empty())
        a = Accessibility(AccessibleRole::Label, top->title());
    return a;
}

} // namespace platform
