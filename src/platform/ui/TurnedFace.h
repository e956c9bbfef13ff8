#pragma once

// Internal to platform_ui: the picture of a view turned about its vertical centre line,
// drawn with perspective for the flip transitions.

#include <memory>

namespace platform {

class Image;

namespace detail {

struct TurnedFace {
    std::shared_ptr<Image> image; // null when the face is seen edge on
    // Pixels the picture reaches past the face on each side: the near edge grows.
    int marginX{0};
    int marginY{0};
};

// `face` turned by `angle` radians (within -pi/2..pi/2; positive brings its right edge
// towards the viewer) as a camera `distance` pixels in front of it sees it: each column is
// scaled by its depth, so the near edge is taller than the face and the far edge shorter.
// `shade` (0..1) darkens it, as a face turning away from the light. The result has the
// face's scale and is centred on the face.
TurnedFace turnFace(const Image& face, double angle, double distance, double shade);

} // namespace detail
} // namespace platform
