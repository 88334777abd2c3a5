#include "TrackTags.h"

#include "TextEncoding.h"

#include <sndfile.h>

#include <memory>
#include <optional>

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::string tag(SNDFILE* file, int which) {
    const char* text = sf_get_string(file, which);
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

TrackTags TrackTags::read(const std::u16string& path) {
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    if (!utf8) {
        return {};
    }
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(utf8->c_str(), SFM_READ, &info));
    if (!file) {
        return {};
    }
    return {tag(file.get(), SF_STR_TITLE), tag(file.get(), SF_STR_ARTIST), tag(file.get(), SF_STR_ALBUM)};
}
