#pragma once

namespace brimsey {

// Whether this run shows the ad banner. Off by default, so that game-only runs (headless
// without --ads) have no ad client at all; the launch reads it once.
void setAdsEnabled(bool enabled);
bool adsEnabled();

} // namespace brimsey
