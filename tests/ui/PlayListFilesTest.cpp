#include "PlayListFiles.h"

#include "ModalCatcher.h"
#include "TempDir.h"
#include "playlist/PlayList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zalvo {

namespace {

using Complaint = PlayListFiles::Complaint;
using Request = PlayListFiles::Request;
using Verdict = PlayListFiles::Verdict;

TEST(PlayListFilesTest, OneRuleTellsWhatEachReadMeansWhetherLoadedOrAdded) {
    const Verdict taken{true, false, Complaint::None};
    const Verdict damaged{true, false, Complaint::Damaged};
    const Verdict noneOpened{false, false, Complaint::NotLoaded};
    const Verdict maybeATrack{false, true, Complaint::NotLoaded};
    const Verdict nothing{};
    struct Case {
        ReadStatus status;
        std::size_t entries;
        std::size_t opened;
        Verdict load;
        Verdict add;
    };
    const std::vector<Case> cases{
        {ReadStatus::Ok, 3, 3, taken, taken},
        {ReadStatus::Ok, 3, 1, taken, taken},
        // An empty playlist empties the list it replaces.
        {ReadStatus::Ok, 0, 0, taken, taken},
        {ReadStatus::Ok, 2, 0, noneOpened, noneOpened},
        {ReadStatus::Damaged, 4, 2, damaged, damaged},
        {ReadStatus::Damaged, 0, 0, damaged, damaged},
        {ReadStatus::Unrecognised, 0, 0, {false, false, Complaint::Damaged}, maybeATrack},
        {ReadStatus::Unreadable, 0, 0, nothing, maybeATrack},
        {ReadStatus::Cancelled, 5, 5, nothing, nothing},
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const Case& c = cases[index];
        const TrackCollector::PlayListResult result{c.status, c.entries, c.opened};
        EXPECT_TRUE(PlayListFiles::judge(Request::Load, result) == c.load) << "case " << index;
        EXPECT_TRUE(PlayListFiles::judge(Request::Add, result) == c.add) << "case " << index;
    }
}

TEST(PlayListFilesTest, EachComplaintHasItsSentenceFollowedByThePaths) {
    EXPECT_EQ(PlayListFiles::message(Complaint::Damaged, {QStringLiteral("/a.m3u")}),
              QStringLiteral("Error - Play list is damaged ! Path : /a.m3u"));
    EXPECT_EQ(PlayListFiles::message(Complaint::NotLoaded, {QStringLiteral("/a.wav"), QStringLiteral("/b.ogg")}),
              QStringLiteral("Error - Music has not been loaded ! Path : /a.wav\n/b.ogg"));
    EXPECT_EQ(PlayListFiles::message(Complaint::NotSaved, {QStringLiteral("/list")}),
              QStringLiteral("Error - Play list has not been saved ! Path : /list"));
    EXPECT_TRUE(PlayListFiles::message(Complaint::None, {QStringLiteral("/a")}).isEmpty());
}

std::vector<std::string> warnings;

// The player's own warnings; the platform plugin has its own to say about the message box.
void recordWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QString category = QString::fromLatin1(context.category);
    if (type == QtWarningMsg && category.startsWith(QStringLiteral("zalvo."))) {
        warnings.push_back((category + QStringLiteral(": ") + text).toStdString());
    }
}

TEST(PlayListFilesTest, AFailedSaveIsToldOnceAndLoggedOnceWithItsCause) {
    TempDir dir;
    PlayList playList;
    PlayListFiles files(nullptr, playList);
    ModalCatcher catcher;
    for (const char* name : {"list", "list.m3u8"}) {
        const QString path =
            QString::fromStdString(dir.file("missing-folder").string()) + QLatin1Char('/') + QString::fromLatin1(name);
        warnings.clear();
        catcher.boxes.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
        files.save([&path] { return path.toStdU16String(); });
        qInstallMessageHandler(previous);
        ASSERT_EQ(catcher.boxes.size(), 1U) << name;
        EXPECT_EQ(catcher.boxes[0].text, QStringLiteral("Error - Play list has not been saved ! Path : ") + path);
        EXPECT_EQ(warnings, std::vector<std::string>{"zalvo.ui: Playlist " + path.toStdString() +
                                                     " not saved: No such file or directory"});
    }
}

} // namespace

} // namespace zalvo
