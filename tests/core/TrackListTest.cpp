#include "playlist/TrackList.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <memory>
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

// Batches appended to lists built in every way: each row finds its entry, each entry its row, and the
// order is the order the tracks came in.
TEST(TrackListTest, AppendedBatchesKeepEveryRowAndOrder) {
    for (const auto& [inserted, batches] :
         {std::pair<std::size_t, std::vector<std::size_t>>{0, {1}}, {0, {5000}}, {3, {1, 2, 3}}, {700, {1000, 1}}}) {
        TrackList list;
        std::vector<const Music*> expected;
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
        ASSERT_EQ(list.size(), expected.size());
        std::size_t row = 0;
        for (auto position = list.begin(); position != list.end(); ++position, ++row) {
            ASSERT_EQ(position->get(), expected[row]) << "row " << row;
            ASSERT_EQ(list.at(row), position) << "row " << row;
            ASSERT_EQ(list.rowOf(position), row);
        }
        EXPECT_EQ(list.at(row), list.end());
        list.erase(list.at(list.size() / 2));
        EXPECT_EQ(list.size(), expected.size() - 1);
        EXPECT_EQ(std::distance(list.begin(), list.end()), static_cast<std::ptrdiff_t>(expected.size() - 1));
    }
}

} // namespace

} // namespace zalvo
