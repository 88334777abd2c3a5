#include "playlist/Observer.h"

#include "playlist/Subject.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zalvo {

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingObserver final : public Observer {
public:
    RecordingObserver(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}

    void update() override { log.push_back(name); }

private:
    std::string name;
    std::vector<std::string>& log;
};

class ObserverTest : public ::testing::Test {
protected:
    std::unique_ptr<RecordingObserver> observer(const std::string& name) {
        return std::make_unique<RecordingObserver>(name, log);
    }

    std::vector<std::string> log;
};

TEST_F(ObserverTest, NotifyCallsEveryObserverOnceInOrderOfAttachment) {
    Subject subject;
    subject.notify();
    EXPECT_THAT(log, IsEmpty());

    auto a = observer("a");
    auto b = observer("b");
    auto c = observer("c");
    subject.attach(b.get());
    subject.attach(a.get());
    subject.attach(c.get());
    subject.notify();
    subject.notify();

    EXPECT_THAT(log, ElementsAre("b", "a", "c", "b", "a", "c"));
}

TEST_F(ObserverTest, ObserverAttachedTwiceIsCalledTwiceAndLeavesWithBothEntries) {
    Subject subject;
    auto a = observer("a");
    auto b = observer("b");
    subject.attach(a.get());
    subject.attach(b.get());
    subject.attach(a.get());

    subject.notify();
    EXPECT_THAT(log, ElementsAre("a", "b", "a"));

    a.reset();
    EXPECT_EQ(subject.observerCount(), 1U);
    log.clear();
    subject.notify();
    EXPECT_THAT(log, ElementsAre("b"));
}

TEST_F(ObserverTest, DestroyedObserverIsNoLongerCalledAndTheOthersKeepTheirOrder) {
    Subject subject;
    auto a = observer("a");
    auto b = observer("b");
    auto c = observer("c");
    subject.attach(a.get());
    subject.attach(b.get());
    subject.attach(c.get());

    b.reset();
    subject.notify();

    EXPECT_THAT(log, ElementsAre("a", "c"));
}

TEST_F(ObserverTest, ObserverOnTwoSubjectsLeavesBothWhenDestroyed) {
    Subject first;
    Subject second;
    auto a = observer("a");
    auto b = observer("b");
    first.attach(a.get());
    second.attach(b.get());
    second.attach(a.get());
    first.attach(b.get());

    a.reset();
    first.notify();
    second.notify();

    EXPECT_EQ(first.observerCount(), 1U);
    EXPECT_EQ(second.observerCount(), 1U);
    EXPECT_THAT(log, ElementsAre("b", "b"));
}

// The sanitizer build turns any call reaching a destroyed subject into a failure.
TEST_F(ObserverTest, DestroyedSubjectIsNeverCalledByItsFormerObservers) {
    auto survivor = std::make_unique<Subject>();
    auto a = observer("a");
    auto b = observer("b");
    {
        auto doomed = std::make_unique<Subject>();
        doomed->attach(a.get());
        doomed->attach(a.get());
        survivor->attach(a.get());
        doomed->attach(b.get());
        survivor->attach(b.get());
    }

    a.reset();
    EXPECT_EQ(survivor->observerCount(), 1U);
    survivor->notify();
    EXPECT_THAT(log, ElementsAre("b"));

    survivor.reset();
    b.reset();
}

TEST_F(ObserverTest, ObserverOutlivingItsSubjectCanJoinAnotherOne) {
    auto a = observer("a");
    {
        Subject first;
        first.attach(a.get());
    }
    Subject second;
    second.attach(a.get());
    second.notify();

    EXPECT_THAT(log, ElementsAre("a"));
}

} // namespace

} // namespace zalvo
