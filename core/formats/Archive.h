#pragma once

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>

namespace zalvo {

// A little-endian binary archive over a standard stream, in the Windows toolkit's playlist file form:
// 32-bit integers and length-prefixed strings (written wide; read wide or narrow).
// Errors are ArchiveException.
class Archive final {
public:
    explicit Archive(std::ostream& output);
    explicit Archive(std::istream& input);

    bool isStoring() const { return output != nullptr; }

    void writeUInt32(std::uint32_t value);
    void writeString(const std::u16string& text);
    // Pushes what is buffered to the stream; throws when the stream failed.
    void flush();

    std::uint32_t readUInt32();
    // A string whose prefix claims more than `longest` characters is refused before any of it is read.
    std::u16string readString(std::uint64_t longest = std::numeric_limits<std::uint64_t>::max());

private:
    std::ostream* output = nullptr;
    std::istream* input = nullptr;
};

} // namespace zalvo
