#include "adnet/AdNetEvents.h"

namespace adnet {

namespace {

AdNetEventListener& listener()
{
    static AdNetEventListener slot;
    return slot;
}

} // namespace

void setAdNetEventListener(AdNetEventListener newListener)
{
    listener() = std::move(newListener);
}

void reportAdNetEvent(std::string_view event)
{
    if (auto& current = listener())
        current(event);
}

} // namespace adnet
