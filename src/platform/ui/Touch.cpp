#include "platform/ui/Touch.h"

#include "platform/ui/View.h"

namespace platform {

Point Touch::locationInView(const View* view) const
{
    return view ? view->convertPointFromView(m_location, nullptr) : m_location;
}

Point Touch::previousLocationInView(const View* view) const
{
    return view ? view->convertPointFromView(m_previous, nullptr) : m_previous;
}

// What a responder does not handle goes on up the chain.
void Responder::touchesBegan(const TouchSet& touches, const TouchEvent& event)
{
    if (auto next = nextResponder())
        next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const TouchSet& touches, const TouchEvent& event)
{
    if (auto next = nextResponder())
        next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const TouchSet& touches, const TouchEvent& event)
{
    if (auto next = nextResponder())
        next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const TouchSet& touches, const TouchEvent& event)
{
    if (auto next = nextResponder())
        next->touchesCancelled(touches, event);
}

} // namespace platform
