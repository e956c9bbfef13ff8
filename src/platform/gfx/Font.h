#pragma once

#include <string>
#include <string_view>

#include "platform/core/Geometry.h"

namespace platform {

enum class TextAlignment { Left, Center, Right };

// A font by family and absolute size in points (1 point = 1 pixel at scale 1). Names in
// the phone platform's style ("Helvetica-Bold") are understood: the part after the dash
// chooses weight and slant.
class Font final {
public:
    Font() = default;
    Font(std::string family, Float size, bool bold = false, bool italic = false);

    static Font named(std::string_view name, Float size);
    static Font system(Float size) { return Font("Helvetica", size); }
    static Font boldSystem(Float size) { return Font("Helvetica", size, true); }

    const std::string& family() const { return m_family; }
    Float pointSize() const { return m_size; }
    bool bold() const { return m_bold; }
    bool italic() const { return m_italic; }

    // The size of the text on one line (no wrapping), rounded up to whole points.
    Size measure(std::string_view text) const;
    // The size of the text word-wrapped to constraint.width; lines that would end below
    // constraint.height are left out (the first line always counts). Rounded up.
    Size measure(std::string_view text, Size constraint) const;
    // The height of one line of this font, rounded up.
    Float lineHeight() const;

    friend bool operator==(const Font&, const Font&) = default;

private:
    std::string m_family{"Helvetica"};
    Float m_size{12};
    bool m_bold{false};
    bool m_italic{false};
};

} // namespace platform
