#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace zalvo {

// Splits a stream into lines without holding more than one line, and none past a bound well above the
// longest path: a file with no line break in it costs no more than that.
class LineReader final {
public:
    explicit LineReader(std::istream& input) : input(input) {}

    // The next line, without its line break (LF, CR LF or CR) and the first line without a UTF-8 byte-order mark; a
    // line too long to be a path comes back empty. False at the end.
    bool next(std::string& line);
    // True when the stream failed, as opposed to ending.
    bool failed() const;

    static constexpr std::size_t maxLength = std::size_t{64} * 1024;

private:
    bool fill();
    // Steps over the LF of a CR LF pair whose CR ended the previous line.
    bool skipPairedLineFeed();
    // Adds the buffered text up to the next line break to `line`; true when a line break ended it.
    bool appendSegment(std::string& line, bool& overlong);

    std::istream& input;
    std::array<char, std::size_t{64} * 1024> buffer{};
    std::size_t position = 0;
    std::size_t end = 0;
    bool first = true;
    bool afterCarriageReturn = false;
};

} // namespace zalvo
