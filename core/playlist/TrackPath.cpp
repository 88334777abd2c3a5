#include "playlist/TrackPath.h"

#include "base/StreamUrl.h"
#include "base/TextEncoding.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <new>
#include <utility>

namespace zalvo {

namespace {

// A track opens with a block of its own, and most are packed with their folder's soon after. Left to
// malloc, the holes those blocks leave between the tracks went to the next tracks, each a little too
// large for one, and a long playlist kept them all: small blocks come from a pool of their own.
struct SmallBlocks {
    static constexpr std::size_t largest = 256;

    std::mutex mutex;
    std::pmr::unsynchronized_pool_resource pool{std::pmr::pool_options{0, largest}};
};

SmallBlocks& smallBlocks() {
    // Never destroyed: a track held by a static may go after every other static.
    static auto* const blocks = new SmallBlocks;
    return *blocks;
}

// Blocks larger than the pool's largest go past it to malloc.
void* allocate(std::size_t bytes, std::size_t alignment) {
    SmallBlocks& small = smallBlocks();
    const std::scoped_lock lock(small.mutex);
    return small.pool.allocate(bytes, alignment);
}

void deallocate(void* memory, std::size_t bytes, std::size_t alignment) {
    SmallBlocks& small = smallBlocks();
    const std::scoped_lock lock(small.mutex);
    small.pool.deallocate(memory, bytes, alignment);
}

} // namespace

// The folder's name, then each name after the distance back to the block's start, so that a path finds
// its block from its name alone. Built on one thread before any path points into it; the count of
// paths pointing into it is all that changes after.
class TrackPath::Block final {
public:
    using Distance = std::uint32_t;
    // Distances fit their 32 bits however a block is filled up to this size.
    static constexpr std::size_t largest = std::numeric_limits<Distance>::max();

    static std::size_t bytesFor(std::string_view name) { return sizeof(Distance) + name.size() + 1; }

    // Room for the folder and names of `nameBytes` bytes in all, for `paths` paths to point into.
    static Block* make(std::string_view folder, std::size_t paths, std::size_t nameBytes) {
        void* memory = allocate(sizeof(Block) + folder.size() + nameBytes, alignof(Block));
        return new (memory) Block(folder, paths);
    }
    static const Block* of(const char* name) {
        Distance distance = 0;
        std::memcpy(&distance, name - sizeof(Distance), sizeof(Distance));
        return reinterpret_cast<const Block*>(name - distance);
    }

    // Copies a name in after the last one; a path to it is one of the paths the block was made for.
    const char* add(std::string_view name) {
        char* start = bytes() + filled + sizeof(Distance);
        const auto distance = static_cast<Distance>(start - reinterpret_cast<char*>(this));
        std::memcpy(start - sizeof(Distance), &distance, sizeof(Distance));
        std::memcpy(start, name.data(), name.size());
        start[name.size()] = '\0';
        filled += static_cast<Distance>(bytesFor(name));
        return start;
    }
    void release() const {
        if (holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            auto* self = const_cast<Block*>(this);
            // Filled to the end by then.
            const std::size_t bytes = sizeof(Block) + filled;
            std::destroy_at(self);
            deallocate(self, bytes, alignof(Block));
        }
    }
    std::string_view folder() const { return {bytes(), folderSize}; }

private:
    Block(std::string_view folder, std::size_t paths)
        : holders(paths), folderSize(static_cast<Distance>(folder.size())), filled(folderSize) {
        std::memcpy(bytes(), folder.data(), folder.size());
    }
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
    const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }

    mutable std::atomic<std::size_t> holders;
    Distance folderSize;
    // Past the folder and the names added so far.
    Distance filled;
};

TrackPath::TrackPath(std::string_view utf8) {
    // Up to the last separator, inclusive; empty for a bare file name.
    const std::size_t cut = utf8.rfind('/') + 1;
    const std::string_view file = utf8.substr(cut);
    name = Block::make(utf8.substr(0, cut), 1, Block::bytesFor(file))->add(file);
}

TrackPath::TrackPath(TrackPath&& other) noexcept : name(std::exchange(other.name, nullptr)) {}

TrackPath& TrackPath::operator=(TrackPath&& other) noexcept {
    if (this != &other) {
        if (name != nullptr) {
            block()->release();
        }
        name = std::exchange(other.name, nullptr);
    }
    return *this;
}

TrackPath::~TrackPath() {
    if (name != nullptr) {
        block()->release();
    }
}

TrackPath TrackPath::at(const char* name) {
    TrackPath path;
    path.name = name;
    return path;
}

const TrackPath::Block* TrackPath::block() const {
    return Block::of(name);
}

std::string_view TrackPath::folder() const {
    return name != nullptr ? block()->folder() : std::string_view();
}

std::string TrackPath::utf8() const {
    std::string whole(folder());
    if (name != nullptr) {
        whole += name;
    }
    return whole;
}

bool TrackPath::isStream() const {
    // "https://" and the host's first byte are enough to tell.
    std::array<char, 9> head{};
    const std::string_view start = folder();
    const std::size_t fromFolder = std::min(start.size(), head.size());
    std::copy_n(start.begin(), fromFolder, head.begin());
    const std::string_view rest = name != nullptr ? std::string_view(name) : std::string_view();
    const std::size_t fromName = std::min(rest.size(), head.size() - fromFolder);
    std::copy_n(rest.begin(), fromName, head.begin() + static_cast<std::ptrdiff_t>(fromFolder));
    return StreamUrl::isStream(std::string_view(head.data(), fromFolder + fromName));
}

std::u16string TrackPath::text() const {
    return TextEncoding::fromFileSystem(utf8());
}

void TrackPath::pack(std::span<TrackPath* const> paths) {
    for (std::size_t first = 0; first < paths.size();) {
        if (paths[first]->name == nullptr) {
            ++first;
            continue;
        }
        const std::string_view folder = paths[first]->folder();
        std::size_t nameBytes = Block::bytesFor(paths[first]->file());
        std::size_t end = first + 1;
        for (; end < paths.size() && paths[end]->name != nullptr && paths[end]->folder() == folder; ++end) {
            const std::size_t more = Block::bytesFor(paths[end]->file());
            if (sizeof(Block) + folder.size() + nameBytes + more > Block::largest) {
                break;
            }
            nameBytes += more;
        }
        Block* packed = Block::make(folder, end - first, nameBytes);
        for (std::size_t i = first; i < end; ++i) {
            *paths[i] = at(packed->add(paths[i]->file()));
        }
        first = end;
    }
}

} // namespace zalvo
