#include "playlist/TrackList.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

// Priorities drawn from a counter by SplitMix64: random enough to keep the tree shallow, and the same
// from run to run.
std::uint64_t mixed(std::uint64_t counter) {
    std::uint64_t z = counter + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
}

} // namespace

TrackList::~TrackList() {
    clear();
}

TrackList::Node* TrackList::newNode(value_type track) {
    Node* node = spare;
    if (node != nullptr) {
        spare = node->parent;
        node->parent = nullptr;
    } else {
        if (fresh == 0) {
            // Growing with the list: a short list holds one small block, a long one few large ones.
            constexpr std::size_t fewest = 64;
            constexpr std::size_t most = 8192;
            fresh = std::clamp(pooled, fewest, most);
            blocks.push_back(std::make_unique<Node[]>(fresh)); // NOLINT(modernize-avoid-c-arrays)
            pooled += fresh;
        }
        node = &blocks.back()[--fresh];
    }
    node->track = std::move(track);
    return node;
}

void TrackList::freeNode(Node* node) {
    node->track.reset();
    if (empty()) {
        dropNodes();
        return;
    }
    node->parent = spare;
    spare = node;
}

void TrackList::dropNodes() {
    pooled = 0;
    fresh = 0;
    spare = nullptr;
    // The tracks go with the blocks that hold their nodes, once the list no longer reaches them.
    const std::vector<std::unique_ptr<Node[]>> gone = std::exchange(blocks, {}); // NOLINT(modernize-avoid-c-arrays)
}

TrackList::Node* TrackList::successor(Node* node) {
    if (node->right != nullptr) {
        node = node->right;
        while (node->left != nullptr) {
            node = node->left;
        }
        return node;
    }
    while (node->parent->right == node) {
        node = node->parent;
    }
    return node->parent;
}

TrackList::Node* TrackList::predecessor(Node* node) {
    if (node->left != nullptr) {
        node = node->left;
        while (node->right != nullptr) {
            node = node->right;
        }
        return node;
    }
    while (node->parent->left == node) {
        node = node->parent;
    }
    return node->parent;
}

TrackList::Node* TrackList::leftmost() const {
    auto* node = const_cast<Node*>(&header);
    while (node->left != nullptr) {
        node = node->left;
    }
    return node;
}

TrackList::iterator TrackList::at(size_type row) {
    Node* node = header.left;
    while (node != nullptr) {
        const std::size_t before = sizeOf(node->left);
        if (row < before) {
            node = node->left;
        } else if (row == before) {
            return iterator(node);
        } else {
            row -= before + 1;
            node = node->right;
        }
    }
    return end();
}

TrackList::size_type TrackList::rowOf(const_iterator position) const {
    const Node* node = position.node;
    std::size_t row = sizeOf(node->left);
    for (; node->parent != nullptr; node = node->parent) {
        if (node->parent->right == node) {
            row += sizeOf(node->parent->left) + 1;
        }
    }
    return row;
}

void TrackList::rotateUp(Node* node) {
    Node* parent = node->parent;
    Node* grandparent = parent->parent;
    if (parent->left == node) {
        parent->left = node->right;
        if (node->right != nullptr) {
            node->right->parent = parent;
        }
        node->right = parent;
    } else {
        parent->right = node->left;
        if (node->left != nullptr) {
            node->left->parent = parent;
        }
        node->left = parent;
    }
    parent->parent = node;
    node->parent = grandparent;
    if (grandparent->left == parent) {
        grandparent->left = node;
    } else {
        grandparent->right = node;
    }
    node->size = parent->size;
    parent->size = static_cast<std::uint32_t>(1 + sizeOf(parent->left) + sizeOf(parent->right));
}

void TrackList::link(Node* node, Node* before) {
    node->left = nullptr;
    node->right = nullptr;
    node->size = 1;
    // The mix's high half is as evenly spread as all of it.
    node->priority = static_cast<std::uint32_t>(mixed(++priorities) >> 32U);
    if (before->left == nullptr) {
        before->left = node;
        node->parent = before;
    } else {
        Node* last = before->left;
        while (last->right != nullptr) {
            last = last->right;
        }
        last->right = node;
        node->parent = last;
    }
    for (Node* above = node->parent; above != &header; above = above->parent) {
        ++above->size;
    }
    while (node->parent != &header && node->parent->priority < node->priority) {
        rotateUp(node);
    }
}

void TrackList::unlink(Node* node) {
    while (node->left != nullptr && node->right != nullptr) {
        rotateUp(node->left->priority > node->right->priority ? node->left : node->right);
    }
    Node* child = node->left != nullptr ? node->left : node->right;
    Node* parent = node->parent;
    if (parent->left == node) {
        parent->left = child;
    } else {
        parent->right = child;
    }
    if (child != nullptr) {
        child->parent = parent;
    }
    for (Node* above = parent; above != &header; above = above->parent) {
        --above->size;
    }
    node->parent = nullptr;
    node->left = nullptr;
    node->right = nullptr;
}

void TrackList::push_back(value_type track) {
    insert(end(), std::move(track));
}

void TrackList::append(std::vector<value_type> tracks) {
    if (tracks.empty()) {
        return;
    }
    const std::size_t row = size();
    // Entries join the tree along its right spine, as a heap of their priorities wants them: each node
    // leaves the spine at most once, complete, so a million are linked in one pass rather than each
    // walking the tree. The spine's nodes are counted as they leave it.
    std::vector<Node*> spine;
    for (Node* node = header.left; node != nullptr; node = node->right) {
        spine.push_back(node);
    }
    spine.reserve(spine.size() + tracks.size());
    const auto settle = [](Node* node) {
        node->size = static_cast<std::uint32_t>(1 + sizeOf(node->left) + sizeOf(node->right));
    };
    for (value_type& track : tracks) {
        Node* node = newNode(std::move(track));
        node->priority = static_cast<std::uint32_t>(mixed(++priorities) >> 32U);
        Node* below = nullptr;
        while (!spine.empty() && spine.back()->priority < node->priority) {
            below = spine.back();
            spine.pop_back();
            settle(below);
        }
        node->left = below;
        if (below != nullptr) {
            below->parent = node;
        }
        node->parent = spine.empty() ? &header : spine.back();
        (spine.empty() ? header.left : spine.back()->right) = node;
        spine.push_back(node);
    }
    for (; !spine.empty(); spine.pop_back()) {
        settle(spine.back());
    }
    ++edits;
    for (TrackListListener* listener : listeners) {
        listener->inserted(row, tracks.size());
    }
}

TrackList::iterator TrackList::insert(const_iterator before, value_type track) {
    ++edits;
    Node* added = newNode(std::move(track));
    link(added, before.node);
    if (!listeners.empty()) {
        const std::size_t row = rowOf(const_iterator(added));
        for (TrackListListener* listener : listeners) {
            listener->inserted(row, 1);
        }
    }
    return iterator(added);
}

TrackList::iterator TrackList::erase(const_iterator position) {
    ++edits;
    if (!listeners.empty()) {
        const std::size_t row = rowOf(position);
        for (TrackListListener* listener : listeners) {
            listener->aboutToRemove(row, 1);
        }
    }
    Node* node = position.node;
    Node* following = successor(node);
    unlink(node);
    freeNode(node);
    return iterator(following);
}

void TrackList::clear() {
    ++edits;
    for (TrackListListener* listener : listeners) {
        listener->aboutToClear();
    }
    header.left = nullptr;
    dropNodes();
}

void TrackList::splice(const_iterator before, TrackList& from, const_iterator moved) {
    Node* node = moved.node;
    // Before itself or before its follower, the entry stays where it is.
    if (&from == this && (before.node == node || before.node == successor(node))) {
        return;
    }
    ++edits;
    ++from.edits;
    const bool told = !listeners.empty() || !from.listeners.empty();
    const std::size_t fromRow = told ? from.rowOf(moved) : 0;
    if (&from != this) {
        for (TrackListListener* listener : from.listeners) {
            listener->aboutToRemove(fromRow, 1);
        }
    }
    // Another list's entry moves into a node of this one, taken first so that a failure leaves it in place.
    Node* taken = &from == this ? node : newNode(nullptr);
    from.unlink(node);
    if (taken != node) {
        taken->track = std::move(node->track);
        from.freeNode(node);
        node = taken;
    }
    link(node, before.node);
    if (!told) {
        return;
    }
    const std::size_t toRow = rowOf(const_iterator(node));
    for (TrackListListener* listener : listeners) {
        if (&from == this) {
            listener->moved(fromRow, toRow);
        } else {
            listener->inserted(toRow, 1);
        }
    }
}

void TrackList::addListener(TrackListListener* listener) {
    if (std::ranges::find(listeners, listener) == listeners.end()) {
        listeners.push_back(listener);
    }
}

void TrackList::removeListener(TrackListListener* listener) {
    std::erase(listeners, listener);
}

} // namespace zalvo
