#pragma once

namespace platform::gtk {

// Where the game's fixed-size screen (in points) sits inside a window area of any size:
// scaled uniformly to fit, centred, the rest left as a border.
struct Viewport {
    double contentWidth{320};
    double contentHeight{480};
    double areaWidth{320}; // in the toolkit's logical pixels
    double areaHeight{480};

    double scale() const;
    double originX() const; // logical pixels from the area's left to the content's left
    double originY() const;

    struct Point {
        double x;
        double y;
    };
    Point toContent(double areaX, double areaY) const;
    Point toArea(double contentX, double contentY) const;
    bool containsArea(double areaX, double areaY) const;
};

// The window size (logical pixels) that shows the content as large as sits comfortably on
// a monitor of the given size: a quarter-step multiple of the content, at least 1x.
struct WindowSize {
    int width;
    int height;
};
WindowSize comfortableWindowSize(double contentWidth, double contentHeight, int monitorWidth, int monitorHeight);

} // namespace platform::gtk
