#include "LineReader.h"

#include <cstring>
#include <istream>

bool LineReader::fill() {
    input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    position = 0;
    end = static_cast<std::size_t>(input.gcount());
    return end > 0;
}

bool LineReader::next(std::string& line) {
    line.clear();
    bool any = false;
    bool overlong = false;
    while (true) {
        if (position == end && !fill()) {
            if (!any) {
                return false;
            }
            break;
        }
        any = true;
        const char* start = buffer.data() + position;
        const auto* lineBreak = static_cast<const char*>(std::memchr(start, '\n', end - position));
        const std::size_t length = lineBreak != nullptr ? static_cast<std::size_t>(lineBreak - start) : end - position;
        if (!overlong && line.size() + length <= maxLength) {
            line.append(start, length);
        } else {
            overlong = true;
            line.clear();
        }
        position += length;
        if (lineBreak != nullptr) {
            ++position;
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (first && line.starts_with("\xEF\xBB\xBF")) {
        line.erase(0, 3);
    }
    first = false;
    return true;
}

bool LineReader::failed() const {
    return input.bad();
}
