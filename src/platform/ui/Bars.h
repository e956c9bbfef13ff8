#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/View.h"

namespace platform {

// The look shared by toolbars and navigation bars.
class Bar : public View {
public:
    BarStyle barStyle() const { return m_style; }
    void setBarStyle(BarStyle style);
    std::optional<Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<Color> tint);

    void draw(Canvas& canvas, const Rect& dirty) override;

protected:
    explicit Bar(const Rect& frame);
    // Makes the view that shows an item (its taps go to the item).
    std::shared_ptr<View> makeItemView(const std::shared_ptr<BarButtonItem>& item);
    Float itemWidth(const BarButtonItem& item) const;
    // The views of the items shown now, in the order of the items.
    std::vector<std::shared_ptr<View>> m_itemViews;

private:
    BarStyle m_style{BarStyle::Default};
    std::optional<Color> m_tint;
};

// A bar of items (usually at the bottom): fixed items keep their width, flexible spaces
// share what is left.
class Toolbar : public Bar {
public:
    static std::shared_ptr<Toolbar> create(const Rect& frame = {});

    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return m_items; }
    // Replaces every item (the same item may appear more than once).
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items);
    // The view showing item number `index`, for tests and hosts that tap it.
    std::shared_ptr<View> viewForItemAt(std::size_t index) const;

    void boundsSizeDidChange() override { layout(); }

protected:
    explicit Toolbar(const Rect& frame) : Bar(frame) { }

private:
    void layout();
    std::vector<std::shared_ptr<BarButtonItem>> m_items;
};

// What a navigation bar shows: a title between a left and a right item.
class NavigationItem final : public Object {
public:
    static std::shared_ptr<NavigationItem> create(std::string title = {});

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    std::shared_ptr<BarButtonItem> leftBarButtonItem() const { return m_left; }
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item);
    std::shared_ptr<BarButtonItem> rightBarButtonItem() const { return m_right; }
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item);

    void setChangeHandler(std::function<void()> handler) { m_onChange = std::move(handler); }

private:
    NavigationItem() = default;
    void changed()
    {
        if (m_onChange)
            m_onChange();
    }
    std::string m_title;
    std::shared_ptr<BarButtonItem> m_left;
    std::shared_ptr<BarButtonItem> m_right;
    std::function<void()> m_onChange;
};

// A bar (usually at the top) that shows its top navigation item.
class NavigationBar : public Bar {
public:
    static std::shared_ptr<NavigationBar> create(const Rect& frame = {});

    const std::vector<std::shared_ptr<NavigationItem>>& items() const { return m_items; }
    void setItems(std::vector<std::shared_ptr<NavigationItem>> items);
    void pushNavigationItem(std::shared_ptr<NavigationItem> item);
    std::shared_ptr<NavigationItem> popNavigationItem();
    std::shared_ptr<NavigationItem> topItem() const { return m_items.empty() ? nullptr : m_items.back(); }
    std::shared_ptr<View> leftItemView() const { return m_left; }
    std::shared_ptr<View> rightItemView() const { return m_right; }

    void draw(Canvas& canvas, const Rect& dirty) override;
    void boundsSizeDidChange() override { refresh(); }
    // The top item's title, read as a label.
    Accessibility accessibility() const override;

protected:
    explicit NavigationBar(const Rect& frame) : Bar(frame) { }

private:
    void refresh();
    std::vector<std::shared_ptr<NavigationItem>> m_items;
    std::shared_ptr<View> m_left;
    std::shared_ptr<View> m_right;
};

} // namespace platform
