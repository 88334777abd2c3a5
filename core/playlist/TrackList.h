#pragma once

#include "playlist/Music.h"
#include "playlist/TrackListListener.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

namespace zalvo {

// The playlist's tracks in order, with the stepping, inserting, moving and removing of a std::list,
// whose every edit is counted and told by rows to whoever listens: whoever makes it (the playlist, the
// manager, a drop), the playlist sees that the order changed and plans again what follows the sounding
// track, and the manager's view updates the rows concerned. A position stays valid while its entry stays
// in the list, wherever it moves. The entries are the nodes of a tree balanced by random priorities,
// each counting the entries below it, so that the row of a position and the position of a row are
// found in logarithmic time.
class TrackList final {
    struct Node {
        Node* parent = nullptr;
        Node* left = nullptr;
        Node* right = nullptr;
        // 32 bits hold the count of any list that fits in memory, and keep a million nodes small.
        std::uint32_t size = 1;
        std::uint32_t priority = 0;
        std::unique_ptr<Music> track;
    };

    template <bool Const> class Iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = std::unique_ptr<Music>;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const value_type*, value_type*>;
        using reference = std::conditional_t<Const, const value_type&, value_type&>;

        Iterator() = default;
        // A position converts to its read-only view, as a std::list's does.
        template <bool Other>
        requires(Const && !Other) Iterator(const Iterator<Other>& other) : node(other.node) {}

        reference operator*() const { return node->track; }
        pointer operator->() const { return &node->track; }
        Iterator& operator++() {
            node = successor(node);
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            node = successor(node);
            return before;
        }
        Iterator& operator--() {
            node = predecessor(node);
            return *this;
        }
        Iterator operator--(int) {
            Iterator before = *this;
            node = predecessor(node);
            return before;
        }
        bool operator==(const Iterator& other) const { return node == other.node; }

    private:
        friend class TrackList;
        friend class Iterator<!Const>;
        explicit Iterator(Node* node) : node(node) {}

        Node* node = nullptr;
    };

public:
    using value_type = std::unique_ptr<Music>;
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;
    using size_type = std::size_t;

    TrackList() = default;
    TrackList(const TrackList&) = delete;
    TrackList& operator=(const TrackList&) = delete;
    ~TrackList();

    iterator begin() { return iterator(leftmost()); }
    iterator end() { return iterator(&header); }
    const_iterator begin() const { return const_iterator(leftmost()); }
    const_iterator end() const { return const_iterator(const_cast<Node*>(&header)); }
    size_type size() const { return sizeOf(header.left); }
    bool empty() const { return header.left == nullptr; }
    value_type& front() { return *begin(); }
    value_type& back() { return *std::prev(end()); }

    // The entry at a row, or the end past the last one.
    iterator at(size_type row);
    // The row of an entry; the end's is the count of entries.
    size_type rowOf(const_iterator position) const;

    void push_back(value_type track);
    // Appends the whole batch as one edit.
    void append(std::vector<value_type> tracks);
    iterator insert(const_iterator before, value_type track);
    iterator erase(const_iterator position);
    void clear();
    // Moves one entry of `from` before `before`: its track is neither copied nor restarted, and every
    // position stays valid but the moved one's when `from` is another list, whose node it leaves.
    void splice(const_iterator before, TrackList& from, const_iterator moved);

    // Changes with every edit.
    std::uint64_t version() const { return edits; }

    // The listener hears every edit until it is removed; the list does not own it.
    void addListener(TrackListListener* listener);
    void removeListener(TrackListListener* listener);

private:
    static std::size_t sizeOf(const Node* node) { return node != nullptr ? node->size : 0; }
    static Node* successor(Node* node);
    static Node* predecessor(Node* node);
    Node* leftmost() const;
    // Takes `node` in just before `before`, and out again, the sizes above it kept right.
    void link(Node* node, Node* before);
    void unlink(Node* node);
    void rotateUp(Node* node);
    // Nodes come from blocks the list owns: a node then costs its 40 bytes rather than an allocator's
    // 48-byte chunk, and all go back at once when the list empties.
    Node* newNode(value_type track);
    void freeNode(Node* node);
    void dropNodes();

    // Stands past the last entry; the root of the tree is its left child.
    Node header;
    std::uint64_t priorities = 0;
    std::uint64_t edits = 0;
    std::vector<TrackListListener*> listeners;
    std::vector<std::unique_ptr<Node[]>> blocks; // NOLINT(modernize-avoid-c-arrays)
    std::size_t pooled = 0;
    // Nodes of the last block not handed out yet.
    std::size_t fresh = 0;
    // Nodes handed back, linked through their parents.
    Node* spare = nullptr;
};

} // namespace zalvo
