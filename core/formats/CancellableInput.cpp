#include "formats/CancellableInput.h"

namespace zalvo {

CancellableInput::int_type CancellableInput::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    if (cancelled) {
        return traits_type::eof();
    }
    const std::streamsize count = source.sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (count <= 0) {
        return traits_type::eof();
    }
    setg(buffer.data(), buffer.data(), buffer.data() + count);
    return traits_type::to_int_type(*gptr());
}

CancellableInput::pos_type CancellableInput::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                     std::ios_base::openmode which) {
    if ((which & std::ios_base::in) == 0) {
        return {off_type(-1)};
    }
    // The source stands past what is buffered here.
    if (direction == std::ios_base::cur) {
        offset -= egptr() - gptr();
    }
    setg(buffer.data(), buffer.data(), buffer.data());
    return source.pubseekoff(offset, direction, std::ios_base::in);
}

CancellableInput::pos_type CancellableInput::seekpos(pos_type position, std::ios_base::openmode which) {
    if ((which & std::ios_base::in) == 0) {
        return {off_type(-1)};
    }
    setg(buffer.data(), buffer.data(), buffer.data());
    return source.pubseekpos(position, std::ios_base::in);
}

} // namespace zalvo
