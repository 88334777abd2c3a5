#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <streambuf>

namespace zalvo {

// Reads another stream buffer in chunks and ends the input as soon as cancelling is asked for, so that a
// reader stops within one chunk whatever it is in the middle of.
class CancellableInput final : public std::streambuf {
public:
    CancellableInput(std::streambuf& source, const std::atomic<bool>& cancelled)
        : source(source), cancelled(cancelled) {}
    CancellableInput(const CancellableInput&) = delete;
    CancellableInput& operator=(const CancellableInput&) = delete;

protected:
    int_type underflow() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    std::streambuf& source;
    const std::atomic<bool>& cancelled;
    std::array<char, std::size_t{64} * 1024> buffer{};
};

} // namespace zalvo
