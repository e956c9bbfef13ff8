#include "adnet/AdNetDelegate.h"

namespace adnet {

AdNetDelegate::~AdNetDelegate() = default;

} // namespace adnet
