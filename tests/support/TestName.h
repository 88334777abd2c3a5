#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace zalvo {

// A case's name as GoogleTest takes it: letters, digits and underscores only.
inline std::string testNameOf(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
    return name;
}

} // namespace zalvo
