// The scale edit fields of the timing pages: a text the user typed, read as a number, with an
// empty or unreadable text taking the field's default and a value above its cap the cap, both
// written back into the field as the page does.
#pragma once

#include <string>

namespace orv {

struct ScaleRule {
    double fallback;          // for an empty, unreadable or negative text
    double cap;               // a larger value becomes this
    bool zeroAllowed = true;  // false: 0 is unreadable too (a range must not be empty)
};

// Reads `text` by `rule`, rewriting it when the value was replaced. A number is plain decimal
// ("800", "12.5"); anything else is unreadable.
double applyScaleField(std::string& text, ScaleRule rule);

// A scale value as the field shows it: no decimals for a whole number, else up to 6 digits.
std::string scaleText(double value);

}  // namespace orv
