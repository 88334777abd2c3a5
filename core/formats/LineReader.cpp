#include "formats/LineReader.h"

#include <cstring>
#include <istream>

namespace zalvo {

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
    bool ended = false;
    while (!ended) {
        if (position == end && !fill()) {
            if (!any) {
                return false;
            }
            break;
        }
        if (skipPairedLineFeed()) {
            continue;
        }
        any = true;
        ended = appendSegment(line, overlong);
    }
    if (first && line.starts_with("\xEF\xBB\xBF")) {
        line.erase(0, 3);
    }
    first = false;
    return true;
}

bool LineReader::skipPairedLineFeed() {
    if (!afterCarriageReturn) {
        return false;
    }
    afterCarriageReturn = false;
    if (buffer[position] != '\n') {
        return false;
    }
    ++position;
    return true;
}

bool LineReader::appendSegment(std::string& line, bool& overlong) {
    const char* start = buffer.data() + position;
    const std::size_t available = end - position;
    // Unix, Windows and old Mac files alike: LF, CR LF or CR alone ends a line.
    const auto* lineFeed = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t searched = lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - start) : available;
    const auto* carriageReturn = static_cast<const char*>(std::memchr(start, '\r', searched));
    const char* lineBreak = carriageReturn != nullptr ? carriageReturn : lineFeed;
    const std::size_t length = lineBreak != nullptr ? static_cast<std::size_t>(lineBreak - start) : available;
    if (!overlong && line.size() + length <= maxLength) {
        line.append(start, length);
    } else {
        overlong = true;
        line.clear();
    }
    position += length;
    if (lineBreak == nullptr) {
        return false;
    }
    ++position;
    afterCarriageReturn = *lineBreak == '\r';
    return true;
}

bool LineReader::failed() const {
    return input.bad();
}

} // namespace zalvo
