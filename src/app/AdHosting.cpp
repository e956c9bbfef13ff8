#include "app/AdHosting.h"

namespace brimsey {

namespace {
bool g_adsEnabled = false;
}

void setAdsEnabled(bool enabled)
{
    g_adsEnabled = enabled;
}

bool adsEnabled()
{
    return g_adsEnabled;
}

} // namespace brimsey
