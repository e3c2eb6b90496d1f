#pragma once

namespace common {

// A colour as the program names its colours: a (red, green, blue) triple.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

} // namespace common
