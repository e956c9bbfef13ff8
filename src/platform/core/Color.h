#pragma once

#include <algorithm>

namespace platform {

// An RGBA colour, components 0..1, not premultiplied.
struct Color {
    float red{0};
    float green{0};
    float blue{0};
    float alpha{0};

    static constexpr Color rgba(float r, float g, float b, float a = 1.0f) { return {r, g, b, a}; }
    // A grey of the given white level (the phone platform's colorWithWhite:alpha:).
    static constexpr Color white(float level, float a = 1.0f) { return {level, level, level, a}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }
    static constexpr Color black() { return {0, 0, 0, 1}; }

    Color withAlpha(float a) const { return {red, green, blue, std::clamp(a, 0.0f, 1.0f)}; }
    bool isOpaque() const { return alpha >= 1.0f; }

    static Color lerp(const Color& from, const Color& to, float t)
    {
        auto mix = [t](float x, float y) { return x + (y - x) * t; };
        return {mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue), mix(from.alpha, to.alpha)};
    }

    friend bool operator==(const Color&, const Color&) = default;
};

} // namespace platform
