#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/Geometry.h"
#include "platform/ui/Object.h"

namespace platform {

class View;
class Window;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger on the screen, from touch-down to lift-off. It belongs to the view it began
// in for its whole life, wherever it moves.
class Touch final {
public:
    using Id = std::uint64_t;

    Id id() const { return m_id; }
    TouchPhase phase() const { return m_phase; }
    double timestamp() const { return m_timestamp; }
    int tapCount() const { return m_tapCount; }
    // The view the touch began in (none if it began where no view takes touches, or that
    // view is gone).
    std::shared_ptr<View> view() const { return m_view.lock(); }
    std::shared_ptr<Window> window() const { return m_window.lock(); }
    // The location in a view's coordinates; with no view, in the window's.
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;
    Point locationInWindow() const { return m_location; }

private:
    friend class Window;
    Id m_id{0};
    TouchPhase m_phase{TouchPhase::Began};
    double m_timestamp{0};
    int m_tapCount{1};
    Point m_location;
    Point m_previous;
    std::weak_ptr<View> m_view;
    std::weak_ptr<Window> m_window;
};

// The touches of one callback. Usually one: each finger's events are delivered apart.
struct TouchSet {
    std::vector<std::shared_ptr<Touch>> touches;

    Touch* anyObject() const { return touches.empty() ? nullptr : touches.front().get(); }
    std::size_t size() const { return touches.size(); }
    bool empty() const { return touches.empty(); }
    auto begin() const { return touches.begin(); }
    auto end() const { return touches.end(); }
};

struct TouchEvent {
    double timestamp{0};
    // Every touch currently on the window.
    TouchSet allTouches;
};

// Something touches are delivered to. What a responder does not handle goes on to its
// next responder (a view's superview, a controller's view's superview, ...).
class Responder : public Object {
public:
    virtual Responder* nextResponder() const { return nullptr; }

    virtual void touchesBegan(const TouchSet& touches, const TouchEvent& event);
    virtual void touchesMoved(const TouchSet& touches, const TouchEvent& event);
    virtual void touchesEnded(const TouchSet& touches, const TouchEvent& event);
    virtual void touchesCancelled(const TouchSet& touches, const TouchEvent& event);
};

} // namespace platform
