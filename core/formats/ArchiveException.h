#pragma once

#include <stdexcept>

namespace zalvo {

// An archive that could not read or write what it was asked to.
class ArchiveException final : public std::runtime_error {
public:
    enum class Cause { EndOfFile, WriteFailed, ReadFailed, TooLong };

    explicit ArchiveException(Cause cause);

    Cause getCause() const { return cause; }

private:
    Cause cause;
};

} // namespace zalvo
