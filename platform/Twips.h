#pragma once

#include <QRect>

namespace kestrion::platform {

// Control positions are laid out in twips (1/1440 inch). At 96 dots per inch a twip is 1/15 pixel;
// the factor widens everything so that today's default fonts fit the captions.
constexpr double kTwipScale = 1.4;

constexpr int twips(int t) {
    // Half away from zero, so that a negative offset mirrors a positive one.
    const double pixels = t * kTwipScale / 15.0;
    return static_cast<int>(pixels < 0 ? pixels - 0.5 : pixels + 0.5);
}

inline QRect twipRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

} // namespace kestrion::platform
