#include "search/TrackSearch.h"

#include "PlayListFixture.h"
#include "search/SearchText.h"
#include "search/TrackSearchIndex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zalvo {

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct MatchCase {
    const char* path;
    const char* tags;
    const char* query;
    bool matches;
};

TEST(TrackSearchIndexTest, EveryWordTypedMustAppearFoldedInPathOrKnownTags) {
    const std::vector<MatchCase> cases{
        {"/music/Daft Punk/Discovery/01 One More Time.flac", "", "time daft", true},
        {"/music/Daft Punk/Discovery/01 One More Time.flac", "", "discovery one", true},
        {"/music/Daft Punk/Discovery/01 One More Time.flac", "", "time daft homework", false},
        {"/music/Beyoncé/Déjà Vu.mp3", "", "BEYONCE deja", true},
        {"/music/beyonce/deja vu.mp3", "", "Déjà", true},
        {"/music/Motörhead/Ægis Œuvre Straße.ogg", "", "motorhead aegis oeuvre strasse", true},
        {"/music/Beyonce\xCC\x81/x.mp3", "", "beyonce", true},
        {"/music/AC-DC/Back_in_Black.mp3", "", "ac/dc back in black", true},
        {"/music/AC/DC/Don't Stop.mp3", "", "acdc dont", false},
        {"/music/AC-DC/Don't Stop.mp3", "", "acdc dont", true},
        {"/music/Rock'n'Roll – Live….wav", "", "rock n roll live", true},
        {"/music/КИНО/Группа крови.flac", "", "кино группа", true},
        {"/music/track01.flac", "Hey Jude The Beatles 1", "beatles jude", true},
        {"/music/track01.flac", "", "beatles", false},
        {"/music/track01.flac", "", "", true},
    };
    TrackSearchIndex index;
    for (const MatchCase& entry : cases) {
        index.add(entry.path, entry.tags);
    }
    index.seal();
    for (std::size_t row = 0; row < cases.size(); ++row) {
        std::vector<std::uint32_t> rows;
        index.find(index.prepare(SearchText::words(cases[row].query)), row, row + 1, rows);
        EXPECT_EQ(!rows.empty(), cases[row].matches) << cases[row].path << " / " << cases[row].query;
    }
}

TEST(SearchTextTest, AQueryKeepsEachFoldedWordOnceUpToItsLimit) {
    EXPECT_EQ(SearchText::words("  Déjà / VU, deja!  "), (std::vector<std::string>{"deja", "vu"}));
    std::string many;
    for (std::size_t word = 0; word < SearchText::maxWords + 10; ++word) {
        many += "w" + std::to_string(word) + " ";
    }
    const std::vector<std::string> kept = SearchText::words(many);
    ASSERT_EQ(kept.size(), SearchText::maxWords);
    EXPECT_EQ(kept.back(), "w" + std::to_string(SearchText::maxWords - 1));
}

// What a search delivers, in order, until a complete answer to the awaited query comes.
class Answers {
public:
    TrackSearch::Deliver sink() {
        return [this](TrackSearch::Matches matches) {
            const std::scoped_lock lock(mutex);
            got.push_back(std::move(matches));
            arrived.notify_all();
        };
    }

    TrackSearch::Matches complete(std::uint64_t query) {
        std::unique_lock lock(mutex);
        const auto isComplete = [&] { return !got.empty() && got.back().query == query && got.back().complete; };
        EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), isComplete));
        return got.empty() ? TrackSearch::Matches{} : got.back();
    }

    std::size_t count() {
        const std::scoped_lock lock(mutex);
        return got.size();
    }

    std::vector<std::uint64_t> queriesFrom(std::size_t first) {
        const std::scoped_lock lock(mutex);
        std::vector<std::uint64_t> queries;
        for (std::size_t i = first; i < got.size(); ++i) {
            queries.push_back(got[i].query);
        }
        return queries;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<TrackSearch::Matches> got;
};

class TrackSearchTest : public PlayListFixture {
protected:
    void addCopies(const std::u16string& path, std::size_t count) {
        std::vector<std::unique_ptr<Music>> tracks;
        for (std::size_t i = 0; i < count; ++i) {
            tracks.push_back(std::make_unique<Music>());
            ASSERT_TRUE(tracks.back()->open(path));
        }
        playList.appendTracks(std::move(tracks));
    }
};

TEST_F(TrackSearchTest, FindsTheRowsOfTheListAsItIsNowWithTagsAlreadyRead) {
    TrackTags tags("Hey Jude", "The Beatles", "1");
    const std::filesystem::path tagged = dir.file("track01.flac");
    writeToneFile(tagged, AudioFormat::Flac, {}, tags);
    ASSERT_TRUE(playList.addMusic(makeTrack("Yellow Submarine")));
    ASSERT_TRUE(playList.addMusic(tagged.u16string()));
    ASSERT_TRUE(playList.addMusic(makeTrack("Jude the Obscure")));
    TrackSearch search(playList);
    Answers answers;

    EXPECT_THAT(answers.complete(search.find("jude", answers.sink())).rows, ElementsAre(2));
    track(1).getTags()->get();
    search.refresh();
    EXPECT_THAT(answers.complete(search.find("jude", answers.sink())).rows, ElementsAre(1, 2));

    PlayList::Position first = positionAt(0);
    playList.removeMusic(first);
    const TrackSearch::Matches afterRemoval = answers.complete(search.find("JUDE", answers.sink()));
    EXPECT_THAT(afterRemoval.rows, ElementsAre(0, 1));
    EXPECT_EQ(afterRemoval.listVersion, playList.getList()->version());
    EXPECT_THAT(answers.complete(search.find("submarine", answers.sink())).rows, IsEmpty());
}

TEST_F(TrackSearchTest, ASupersededSearchIsNeverDeliveredOnceTheNextOneIsAsked) {
    addCopies(makeTrack("common song"), 20'000);
    TrackSearch search(playList);
    Answers answers;
    answers.complete(search.find("", answers.sink()));

    for (int round = 0; round < 20; ++round) {
        const std::uint64_t older = search.find("song", answers.sink());
        const std::uint64_t newer = search.find("common", answers.sink());
        const std::size_t asked = answers.count();
        EXPECT_EQ(answers.complete(newer).rows.size(), 20'000U);
        for (const std::uint64_t query : answers.queriesFrom(asked)) {
            EXPECT_NE(query, older);
        }
    }
    const std::uint64_t forgotten = search.find("song", answers.sink());
    search.forget();
    const std::size_t asked = answers.count();
    answers.complete(search.find("common", answers.sink()));
    for (const std::uint64_t query : answers.queriesFrom(asked)) {
        EXPECT_NE(query, forgotten);
    }
}

} // namespace

} // namespace zalvo
