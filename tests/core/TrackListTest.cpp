#include "playlist/TrackList.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <memory>
#include <random>
#include <vector>

namespace zalvo {

namespace {

std::vector<std::unique_ptr<Music>> tracks(std::size_t count) {
    std::vector<std::unique_ptr<Music>> made(count);
    for (auto& track : made) {
        track = std::make_unique<Music>();
    }
    return made;
}

// Builds a list by inserting in its middle, then appends the batches: `expected` follows along.
void build(TrackList& list, std::vector<const Music*>& expected, std::size_t inserted,
           const std::vector<std::size_t>& batches) {
    for (std::size_t i = 0; i < inserted; ++i) {
        auto track = std::make_unique<Music>();
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(i / 2), track.get());
        list.insert(list.at(i / 2), std::move(track));
    }
    for (const std::size_t count : batches) {
        std::vector<std::unique_ptr<Music>> batch = tracks(count);
        for (const auto& track : batch) {
            expected.push_back(track.get());
        }
        list.append(std::move(batch));
    }
}

// Every row finds its entry and every entry its row, in the expected order.
void expectRows(TrackList& list, const std::vector<const Music*>& expected) {
    ASSERT_EQ(list.size(), expected.size());
    std::size_t row = 0;
    for (auto position = list.begin(); position != list.end(); ++position, ++row) {
        const bool found = position->get() == expected[row] && list.at(row) == position && list.rowOf(position) == row;
        ASSERT_TRUE(found) << "row " << row;
    }
    EXPECT_EQ(list.at(row), list.end());
}

// Batches appended to lists built in every way keep each row's entry and the order the tracks came in.
TEST(TrackListTest, AppendedBatchesKeepEveryRowAndOrder) {
    for (const auto& [inserted, batches] :
         {std::pair<std::size_t, std::vector<std::size_t>>{0, {1}}, {0, {5000}}, {3, {1, 2, 3}}, {700, {1000, 1}}}) {
        SCOPED_TRACE(inserted);
        TrackList list;
        std::vector<const Music*> expected;
        build(list, expected, inserted, batches);
        expectRows(list, expected);
        list.erase(list.at(list.size() / 2));
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(expected.size() / 2));
        expectRows(list, expected);
    }
}

std::vector<const Music*> tracksOf(const TrackList& list) {
    std::vector<const Music*> tracks;
    for (const std::unique_ptr<Music>& track : list) {
        tracks.push_back(track.get());
    }
    return tracks;
}

// Random edits of a list and of a plain list side by side, through growing past many blocks of nodes,
// emptying, and growing again from blocks made anew.
class TrackListEditTest : public ::testing::Test {
protected:
    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine); }
    std::list<const Music*>::iterator modelAt(std::size_t row) {
        return std::next(model.begin(), static_cast<std::ptrdiff_t>(row));
    }

    void edit(bool growing) {
        const std::size_t row = model.empty() ? 0 : pick(model.size());
        const std::size_t kind = pick(growing ? 4 : 3);
        if (kind == 0) {
            auto track = std::make_unique<Music>();
            model.insert(modelAt(row), track.get());
            list.insert(list.at(row), std::move(track));
        } else if (kind == 1 && !model.empty()) {
            model.erase(modelAt(row));
            list.erase(list.at(row));
        } else if (kind == 2 && !model.empty()) {
            const std::size_t to = pick(model.size() + 1);
            model.splice(modelAt(to), model, modelAt(row));
            list.splice(list.at(to), list, list.at(row));
        } else if (kind == 3) {
            std::vector<std::unique_ptr<Music>> batch(pick(40));
            for (std::unique_ptr<Music>& track : batch) {
                track = std::make_unique<Music>();
                model.push_back(track.get());
            }
            list.append(std::move(batch));
        }
    }

    // The entries forward, backward, then by row where the row of each is its own.
    std::vector<const Music*> walked() {
        std::vector<const Music*> tracks = tracksOf(list);
        for (auto at = list.end(); at != list.begin();) {
            --at;
            tracks.push_back(at->get());
        }
        for (std::size_t row = 0; row < list.size(); ++row) {
            const TrackList::iterator at = list.at(row);
            tracks.push_back(list.rowOf(at) == row ? at->get() : nullptr);
        }
        return tracks;
    }
    std::vector<const Music*> expected() const {
        std::vector<const Music*> tracks(model.begin(), model.end());
        tracks.insert(tracks.end(), model.rbegin(), model.rend());
        tracks.insert(tracks.end(), model.begin(), model.end());
        return tracks;
    }

    TrackList list;
    std::list<const Music*> model;
    std::mt19937 engine{7};
};

TEST_F(TrackListEditTest, EditsKeepTheOrderOfAPlainList) {
    for (int step = 0; step < 6000; ++step) {
        // Grows for the first half of every thousand steps, shrinks for the second.
        edit(step % 1000 < 500);
        if (step % 1500 == 1499) {
            list.clear();
            model.clear();
        }
        if (step % 97 == 0 || model.size() < 3) {
            ASSERT_EQ(walked(), expected()) << "after step " << step;
        }
    }
}

// A track goes as its entry does, not when the list's nodes next go back at once.
TEST_F(TrackListEditTest, RemovingAnEntryDestroysItsTrack) {
    std::vector<std::weak_ptr<const TrackTagsOnce>> tags;
    for (int i = 0; i < 3; ++i) {
        auto track = std::make_unique<Music>();
        tags.push_back(track->getTags());
        list.push_back(std::move(track));
    }
    const auto gone = [&tags] {
        std::vector<bool> expired;
        expired.reserve(tags.size());
        for (const std::weak_ptr<const TrackTagsOnce>& held : tags) {
            expired.push_back(held.expired());
        }
        return expired;
    };
    list.erase(std::next(list.begin()));
    EXPECT_EQ(gone(), (std::vector<bool>{false, true, false}));
    list.clear();
    EXPECT_EQ(gone(), (std::vector<bool>{true, true, true}));
}

TEST_F(TrackListEditTest, SplicingFromAnotherListTakesTheTrackItself) {
    TrackList from;
    for (int i = 0; i < 3; ++i) {
        from.push_back(std::make_unique<Music>());
        list.push_back(std::make_unique<Music>());
    }
    const std::vector<const Music*> fromBefore = tracksOf(from);
    std::vector<const Music*> toAfter = tracksOf(list);
    toAfter.insert(toAfter.begin() + 2, fromBefore[1]);
    const TrackList::iterator fromFirst = from.begin();
    const TrackList::iterator toLast = std::prev(list.end());
    list.splice(toLast, from, std::next(from.begin()));
    EXPECT_EQ(tracksOf(from), (std::vector<const Music*>{fromBefore[0], fromBefore[2]}));
    EXPECT_EQ(tracksOf(list), toAfter);
    // The other entries' positions stay valid in both lists.
    EXPECT_EQ(fromFirst->get(), fromBefore[0]);
    EXPECT_EQ(list.rowOf(toLast), 3U);
    // The last entry leaving a list leaves it whole, for entries to come.
    list.splice(list.end(), from, from.begin());
    list.splice(list.end(), from, from.begin());
    from.push_back(std::make_unique<Music>());
    EXPECT_EQ(from.size(), 1U);
    EXPECT_EQ(list.size(), 6U);
}

} // namespace

} // namespace zalvo
