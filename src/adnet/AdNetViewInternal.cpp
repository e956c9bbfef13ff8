#include "adnet/AdNetViewInternal.h"

#include "adnet/AdNetController.h"

namespace adnet {

std::shared_ptr<AdNetViewInternal> AdNetViewInternal::create(const platform::Rect& frame)
{
    return std::shared_ptr<AdNetViewInternal>(new AdNetViewInternal(frame));
}

// The controller goes with the view: it silences and releases its ads as it goes.
AdNetViewInternal::~AdNetViewInternal() = default;

} // namespace adnet
