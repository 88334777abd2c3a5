#include "tags/CoverArt.h"
#include "tags/TagModule.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zalvo {

namespace fs = std::filesystem;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(std::string& out, std::uint32_t value, int bytes, int bitsPerByte = 8) {
    for (int shift = (bytes - 1) * bitsPerByte; shift >= 0; shift -= bitsPerByte) {
        out += static_cast<char>((value >> static_cast<unsigned>(shift)) &
                                 ((1U << static_cast<unsigned>(bitsPerByte)) - 1));
    }
}

// Two silent MPEG-1 Layer III frames, so that the tag sits before audio as in any MP3.
std::string mpegFrames() {
    std::string frame("\xFF\xFB\x90\x64", 4);
    frame.resize(417, '\0');
    return frame + frame;
}

// An MP3 whose ID3v2.3 tag holds `picture` as its front cover.
std::string mp3WithPicture(std::string_view picture) {
    std::string frame("\x00image/jpeg\x00\x03\x00", 14);
    frame += picture;
    std::string tag("ID3\x03\x00\x00", 6);
    put(tag, static_cast<std::uint32_t>(frame.size() + 10), 4, 7);
    tag += "APIC";
    put(tag, static_cast<std::uint32_t>(frame.size()), 4);
    tag += std::string(2, '\0');
    return tag + frame + mpegFrames();
}

// A FLAC file's head whose last metadata block is a PICTURE block of `body`, as the bytes give it.
std::string flacWithPictureBlock(std::string_view body) {
    std::string file("fLaC\x00\x00\x00\x22", 8);
    std::string info(34, '\0');
    info[0] = 0x10;
    info[2] = 0x10;
    info[10] = 0x0A;
    info[11] = static_cast<char>(0xC4);
    info[12] = 0x42;
    file += info;
    file += '\x86';
    put(file, static_cast<std::uint32_t>(body.size() & 0xFFFFFFU), 3);
    return file + std::string(body);
}

// What the input plants at the cover's own name, after it was cached once.
enum class Plant { Bytes, LinkOutside, Fifo };

// A folder of the run's own, that goes with the run.
class RunFolder final {
public:
    RunFolder() {
        std::string pattern = (fs::temp_directory_path() / "zalvo-cover-fuzz-XXXXXX").string();
        require(::mkdtemp(pattern.data()) != nullptr);
        root = pattern;
    }
    ~RunFolder() { fs::remove_all(root); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const fs::path& path() const { return root; }

private:
    fs::path root;
};

void write(const fs::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Whatever locate answers from the cache is a regular file there, holding the picture when the input
// says what the picture is; the user's file outside is never changed.
void check(const std::optional<fs::path>& cover, const fs::path& cache, const std::optional<std::string>& picture,
           const fs::path& outside, const std::string& outsideBytes, fs::file_time_type outsideTime) {
    if (cover && cover->parent_path() == cache) {
        require(fs::symlink_status(*cover).type() == fs::file_type::regular);
        require(!picture || contents(*cover) == *picture);
    }
    require(contents(outside) == outsideBytes && fs::last_write_time(outside) == outsideTime);
}

} // namespace

// TagLib lies in its module: found where the build put it unless ZALVO_MODULE_DIR says otherwise, and
// loaded before the first input, so that its code is fuzzed and its coverage counted from the start.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    ::setenv("ZALVO_MODULE_DIR", ZALVO_FUZZ_MODULE_DIR, 0);
    require(TagModule::available());
    return 0;
}

// The first byte chooses how the rest reaches the cover cache: as a whole file for TagLib under some
// extension, as the picture of an ID3v2 tag, as a FLAC PICTURE block, or as a picture whose cached
// entry is then replaced by planted bytes, a link out of the folder or a FIFO, before it is asked for
// again. Every input finds a fresh cache folder.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const RunFolder run;
    static constexpr std::array extensions{".mp3", ".flac", ".m4a", ".ogg", ".opus", ".wma",
                                           ".wav", ".aiff", ".wv",  ".ape", ".mpc",  ".tta"};
    if (size == 0) {
        return 0;
    }
    const unsigned selector = data[0];
    const std::string_view payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    const fs::path cache = run.path() / "cache" / "covers";
    const fs::path outside = run.path() / "outside.jpg";
    fs::remove_all(run.path() / "cache");
    const std::string outsideBytes = "\xFF\xD8\xFF the user's own picture";
    write(outside, outsideBytes);
    const fs::file_time_type outsideTime = fs::last_write_time(outside);
    const CoverArt covers(cache);

    std::optional<std::string> picture;
    fs::path track = run.path() / "track.mp3";
    std::string_view planted;
    switch (selector % 4) {
    case 0:
        track = run.path() / (std::string("track") + extensions[(selector / 4) % extensions.size()]);
        write(track, payload);
        break;
    case 1:
        picture = std::string(payload);
        write(track, mp3WithPicture(payload));
        break;
    case 2:
        track = run.path() / "track.flac";
        write(track, flacWithPictureBlock(payload));
        break;
    default:
        picture = std::string(payload.substr(0, payload.size() / 2));
        planted = payload.substr(payload.size() / 2);
        write(track, mp3WithPicture(*picture));
        break;
    }
    const std::optional<fs::path> first = covers.locate(track.u16string());
    check(first, cache, picture, outside, outsideBytes, outsideTime);
    if (selector % 4 == 3 && first && first->parent_path() == cache) {
        fs::remove(*first);
        switch (static_cast<Plant>((selector / 4) % 3)) {
        case Plant::Bytes:
            write(*first, planted);
            break;
        case Plant::LinkOutside:
            fs::create_symlink(outside, *first);
            break;
        case Plant::Fifo:
            require(::mkfifo(first->c_str(), 0600) == 0);
            break;
        }
        check(covers.locate(track.u16string()), cache, picture, outside, outsideBytes, outsideTime);
    }
    fs::remove(track);
    return 0;
}

} // namespace zalvo
