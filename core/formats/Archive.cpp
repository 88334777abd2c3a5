#include "formats/Archive.h"

#include "base/TextEncoding.h"
#include "formats/ArchiveException.h"

#include <algorithm>
#include <array>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <streambuf>

namespace zalvo {

namespace {

constexpr std::uint8_t byteEscape = 0xFF;
constexpr std::uint16_t wideMarker = 0xFFFE;
constexpr std::uint16_t wordEscape = 0xFFFF;
constexpr std::uint32_t dwordEscape = 0xFFFFFFFF;

// When the stream cannot tell how much it still holds, a string is read in pieces of this size, so that
// a length the file cannot back costs no more memory than the bytes that really arrive.
constexpr std::size_t chunkSize = std::size_t{64} * 1024;

[[noreturn]] void throwShortRead(const std::istream& input) {
    throw ArchiveException(input.bad() ? ArchiveException::Cause::ReadFailed : ArchiveException::Cause::EndOfFile);
}

void readExactly(std::istream& input, char* buffer, std::size_t count) {
    input.read(buffer, static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(input.gcount()) != count) {
        throwShortRead(input);
    }
}

template <typename T> T readLittleEndian(std::istream& input) {
    std::array<char, sizeof(T)> bytes{};
    readExactly(input, bytes.data(), bytes.size());
    T value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = static_cast<T>((static_cast<std::uint64_t>(value) << 8U) | static_cast<unsigned char>(bytes[i]));
    }
    return value;
}

template <typename T> void appendLittleEndian(std::string& bytes, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8U * i)) & 0xFFU));
    }
}

// Bytes between the read position and the end, or nothing for a stream that cannot seek (a pipe).
std::optional<std::uint64_t> bytesLeft(std::istream& input) {
    std::streambuf* buffer = input.rdbuf();
    const std::streampos here = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (here == std::streampos(-1)) {
        return std::nullopt;
    }
    const std::streampos end = buffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (buffer->pubseekpos(here, std::ios_base::in) != here || end == std::streampos(-1) || end < here) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(end - here);
}

std::string readBytes(std::istream& input, std::uint64_t count) {
    // A length beyond what the file holds is a truncated file: say so before allocating anything for it.
    const std::streamsize buffered = input.rdbuf()->in_avail();
    if (buffered < 0 || static_cast<std::uint64_t>(buffered) < count) {
        const std::optional<std::uint64_t> left = bytesLeft(input);
        if (left && *left < count) {
            throw ArchiveException(ArchiveException::Cause::EndOfFile);
        }
    }
    std::string bytes;
    while (bytes.size() < count) {
        const std::size_t start = bytes.size();
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count - start, chunkSize));
        bytes.resize(start + piece);
        readExactly(input, bytes.data() + start, piece);
    }
    return bytes;
}

struct StringLength {
    std::uint64_t length = 0;
    bool wide = false;
};

// The toolkit's prefix: a byte, widened step by step through escape values, with an optional marker
// saying that two-byte characters follow.
StringLength readStringLength(std::istream& input) {
    StringLength result;
    const auto byteLength = readLittleEndian<std::uint8_t>(input);
    if (byteLength < byteEscape) {
        result.length = byteLength;
        return result;
    }
    auto wordLength = readLittleEndian<std::uint16_t>(input);
    if (wordLength == wideMarker) {
        result.wide = true;
        const auto wideByteLength = readLittleEndian<std::uint8_t>(input);
        if (wideByteLength < byteEscape) {
            result.length = wideByteLength;
            return result;
        }
        wordLength = readLittleEndian<std::uint16_t>(input);
    }
    if (wordLength < wordEscape) {
        result.length = wordLength;
        return result;
    }
    const auto dwordLength = readLittleEndian<std::uint32_t>(input);
    if (dwordLength < dwordEscape) {
        result.length = dwordLength;
        return result;
    }
    result.length = readLittleEndian<std::uint64_t>(input);
    return result;
}

void appendStringLength(std::string& bytes, std::uint64_t length) {
    if (length < byteEscape) {
        appendLittleEndian<std::uint8_t>(bytes, static_cast<std::uint8_t>(length));
        return;
    }
    appendLittleEndian(bytes, byteEscape);
    if (length < wideMarker) {
        appendLittleEndian<std::uint16_t>(bytes, static_cast<std::uint16_t>(length));
        return;
    }
    appendLittleEndian(bytes, wordEscape);
    if (length < dwordEscape) {
        appendLittleEndian<std::uint32_t>(bytes, static_cast<std::uint32_t>(length));
        return;
    }
    appendLittleEndian(bytes, dwordEscape);
    appendLittleEndian<std::uint64_t>(bytes, length);
}

// A storing archive has no input and a loading one no output: using the wrong side fails like the stream would.
std::ostream& writable(std::ostream* output) {
    if (output == nullptr || !*output) {
        throw ArchiveException(ArchiveException::Cause::WriteFailed);
    }
    return *output;
}

std::istream& readable(std::istream* input) {
    if (input == nullptr) {
        throw ArchiveException(ArchiveException::Cause::ReadFailed);
    }
    return *input;
}

void writeAll(std::ostream* output, const std::string& bytes) {
    std::ostream& stream = writable(output);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream) {
        throw ArchiveException(ArchiveException::Cause::WriteFailed);
    }
}

} // namespace

Archive::Archive(std::ostream& output) : output(&output) {}

Archive::Archive(std::istream& input) : input(&input) {}

void Archive::writeUInt32(std::uint32_t value) {
    std::string bytes;
    appendLittleEndian(bytes, value);
    writeAll(output, bytes);
}

void Archive::writeString(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(16 + 2 * text.size());
    appendLittleEndian(bytes, byteEscape);
    appendLittleEndian(bytes, wideMarker);
    appendStringLength(bytes, text.size());
    for (const char16_t unit : text) {
        appendLittleEndian<std::uint16_t>(bytes, unit);
    }
    writeAll(output, bytes);
}

void Archive::flush() {
    std::ostream& stream = writable(output);
    if (!stream.flush()) {
        throw ArchiveException(ArchiveException::Cause::WriteFailed);
    }
}

std::uint32_t Archive::readUInt32() {
    return readLittleEndian<std::uint32_t>(readable(input));
}

std::u16string Archive::readString(std::uint64_t longest) {
    std::istream& stream = readable(input);
    const StringLength prefix = readStringLength(stream);
    if (prefix.length > longest) {
        throw ArchiveException(ArchiveException::Cause::TooLong);
    }
    if (!prefix.wide) {
        return TextEncoding::fromNarrow(readBytes(stream, prefix.length));
    }
    // No stream holds twice 2^63 bytes; checking here keeps the byte count from wrapping around.
    if (prefix.length > std::numeric_limits<std::uint64_t>::max() / 2) {
        throw ArchiveException(ArchiveException::Cause::EndOfFile);
    }
    const std::string bytes = readBytes(stream, prefix.length * 2);
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8U));
    }
    return text;
}

} // namespace zalvo
