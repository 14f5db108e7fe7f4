// A curve of a timing page as plain data: the points drawn (x the sample's place in the window,
// y its value) and the vertical scale with its two axis labels.
#pragma once

#include <string>
#include <vector>

namespace orv {

struct CurvePoint {
    int x = 0;
    double y = 0.0;
};

struct CurveScale {
    double bottom = 0.0;
    double top = 0.0;
    std::string topLabel;
    std::string bottomLabel;
};

struct Curve {
    std::vector<CurvePoint> points;
    bool visible = true;
};

}  // namespace orv
