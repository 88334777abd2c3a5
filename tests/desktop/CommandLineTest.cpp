#include "CommandLine.h"

#include "LocalPath.h"
#include "MprisRootAdaptor.h"
#include "PrivateBus.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zalvo {

namespace {

using Request = CommandLine::Request;

TEST(CommandLineTest, OptionsAnswerAtOnceAndEverythingElseIsAFile) {
    const QString here = QDir::currentPath();
    struct Case {
        QStringList arguments;
        Request request;
        QStringList files;
        int exitCode;
    };
    const std::vector<Case> cases{
        {{}, Request::Run, {}, 0},
        {{"a.ogg", "/music/b c.flac", "file:///music/d%20e.mp3"},
         Request::Run,
         {here + "/a.ogg", "/music/b c.flac", "/music/d e.mp3"},
         0},
        {{"http://radio.example/live.mp3", "HTTPS://radio.example/a b.pls", "ftp://radio.example/x"},
         Request::Run,
         {"http://radio.example/live.mp3", "https://radio.example/a%20b.pls", here + "/ftp:/radio.example/x"},
         0},
        {{"a.ogg", "--help"}, Request::Help, {here + "/a.ogg"}, 0},
        {{"-h"}, Request::Help, {}, 0},
        {{"--version"}, Request::Version, {}, 0},
        {{"-v", "--bogus"}, Request::Version, {}, 0},
        {{"--bogus"}, Request::Invalid, {}, 2},
        {{"--", "--help", "-"}, Request::Run, {here + "/--help", here + "/-"}, 0},
    };
    for (const Case& c : cases) {
        const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("zalvo")} + c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(line.request(), c.request) << what;
        EXPECT_EQ(line.files(), c.files) << what;
        EXPECT_EQ(line.exitCode(), c.exitCode) << what;
        EXPECT_EQ(line.text().isEmpty(), c.request == Request::Run) << what;
    }
    EXPECT_TRUE(CommandLine::parse({"zalvo", "--version"}).text().startsWith(QStringLiteral("zalvo ")));
}

TEST(CommandLineTest, ReplayGainModeIsTakenForTheRun) {
    EXPECT_EQ(CommandLine::parse({"zalvo"}).replayGainMode(), std::nullopt);
    const CommandLine track = CommandLine::parse({"zalvo", "--replaygain=track", "a.ogg"});
    EXPECT_EQ(track.replayGainMode(), ReplayGain::Mode::Track);
    EXPECT_EQ(track.files().size(), 1);
    const CommandLine wrong = CommandLine::parse({"zalvo", "--replaygain=loud"});
    EXPECT_EQ(wrong.request(), Request::Invalid);
    EXPECT_TRUE(wrong.text().contains(QStringLiteral("'loud'")));
}

TEST(CommandLineTest, NamesThatAreNotUtf8KeepTheirBytes) {
    const QString escaped = LocalPath::fromNative("caf\xE9.wav");
    EXPECT_EQ(escaped, QStringLiteral("caf") + QChar(0xDCE9) + QStringLiteral(".wav"));
    EXPECT_EQ(CommandLine::parse({"zalvo", escaped, "file:///music/caf%E9.wav"}).files(),
              QStringList({QDir::currentPath() + "/" + escaped, "/music/" + escaped}));
}

TEST(CommandLineTest, TheDesktopEntryOpensFilesOfEveryTypeThePlayerAnnounces) {
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {QStringLiteral(ZALVO_DESKTOP_ENTRY)});
    ASSERT_TRUE(validate.waitForFinished());
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

    QFile entry(QStringLiteral(ZALVO_DESKTOP_ENTRY));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Exec=zalvo %F")));
    const QStringList mimeLines = lines.filter(QRegularExpression(QStringLiteral("^MimeType=")));
    ASSERT_EQ(mimeLines.size(), 1);
    EXPECT_EQ(mimeLines.front().mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts),
              MprisRootAdaptor::supportedMimeTypes());
}

// The real program, twice, on a bus of the test's own.
class LaunchTest : public testing::Test {
protected:
    LaunchTest() {
        for (auto* process : {&first, &second}) {
            process->setProcessEnvironment(bus.environment());
            process->setWorkingDirectory(QString::fromStdString(dir.path().string()));
            // What the players report goes into the test's log.
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
    }

    ~LaunchTest() override {
        first.kill();
        first.waitForFinished();
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    }

    QVariant get(const QString& property) {
        QDBusInterface properties(QStringLiteral("org.mpris.MediaPlayer2.zalvo"),
                                  QStringLiteral("/org/mpris/MediaPlayer2"),
                                  QStringLiteral("org.freedesktop.DBus.Properties"), client);
        const QDBusMessage reply =
            properties.call(QStringLiteral("Get"), QStringLiteral("org.mpris.MediaPlayer2.Player"), property);
        if (reply.arguments().isEmpty()) {
            return {};
        }
        const QVariant value = reply.arguments().front().value<QDBusVariant>().variant();
        return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value.value<QDBusArgument>()) : value;
    }

    int playersOnTheBus() {
        return static_cast<int>(client.interface()
                                    ->registeredServiceNames()
                                    .value()
                                    .filter(QStringLiteral("org.mpris.MediaPlayer2.zalvo"))
                                    .size());
    }

    PrivateBus bus;
    TempDir dir;
    QDBusConnection client = bus.connect(QStringLiteral("test"));
    QProcess first;
    QProcess second;
};

TEST_F(LaunchTest, ASecondLaunchHandsItsFilesToTheFirstPlayerAndEnds) {
    writeToneFile(dir.file("a.wav"), AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 5.0}}});
    writeToneFile(dir.file("b.wav"), AudioFormat::Wav);
    first.start(QStringLiteral(ZALVO_BINARY));
    ASSERT_TRUE(waitUntil([this] { return playersOnTheBus() == 1; }, 10000)) << "the first player is on the bus";
    EXPECT_EQ(get(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));

    // Relative names: the second launch's working directory is not the first player's.
    second.start(QStringLiteral(ZALVO_BINARY), {QStringLiteral("a.wav"), QStringLiteral("b.wav")});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(waitUntil([this] { return get(QStringLiteral("PlaybackStatus")) == QStringLiteral("Playing"); }));
    EXPECT_EQ(get(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:url")),
              QUrl::fromLocalFile(QString::fromStdString(dir.file("a.wav").string())).toString());

    second.start(QStringLiteral(ZALVO_BINARY));
    ASSERT_TRUE(second.waitForFinished(5000)) << "a launch without files ends too";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(playersOnTheBus(), 1);
    EXPECT_EQ(get(QStringLiteral("PlaybackStatus")), QStringLiteral("Playing")) << "and the first plays on";

    QDBusInterface root(QStringLiteral("org.mpris.MediaPlayer2.zalvo"), QStringLiteral("/org/mpris/MediaPlayer2"),
                        QStringLiteral("org.mpris.MediaPlayer2"), client);
    root.call(QStringLiteral("Quit"));
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(LaunchTest, TenLaunchesAtOnceMakeOnePlayerHoldingEveryFile) {
    constexpr int launchCount = 10;
    QStringList files;
    for (int i = 0; i < launchCount; ++i) {
        const std::filesystem::path file = dir.file("track" + std::to_string(i) + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 10.0}}});
        files.append(QString::fromStdString(file.string()));
    }
    std::vector<std::unique_ptr<QProcess>> launches;
    for (const QString& file : files) {
        auto& launch = launches.emplace_back(std::make_unique<QProcess>());
        launch->setProcessEnvironment(bus.environment());
        launch->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launch->start(QStringLiteral(ZALVO_BINARY), {file});
    }
    const auto running = [&launches] {
        return std::count_if(launches.begin(), launches.end(),
                             [](const auto& launch) { return launch->state() != QProcess::NotRunning; });
    };
    ASSERT_TRUE(waitUntil([&running] { return running() == 1; }, 30000)) << running() << " players run";
    for (const auto& launch : launches) {
        if (launch->state() == QProcess::NotRunning) {
            EXPECT_EQ(launch->exitCode(), 0);
        }
    }
    EXPECT_EQ(playersOnTheBus(), 1);

    // Next walks the list round to where it started: the steps are its tracks.
    const auto url = [this] { return get(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:url")); };
    const auto trackCount = [this, &url] {
        QDBusInterface player(QStringLiteral("org.mpris.MediaPlayer2.zalvo"), QStringLiteral("/org/mpris/MediaPlayer2"),
                              QStringLiteral("org.mpris.MediaPlayer2.Player"), client);
        const QVariant first = url();
        int steps = 0;
        do {
            player.call(QStringLiteral("Next"));
            ++steps;
        } while (url() != first && steps <= 2 * launchCount);
        return steps;
    };
    EXPECT_TRUE(waitUntil([&trackCount] { return trackCount() == launchCount; }, 10000));
}

TEST_F(LaunchTest, ALatin1NameOnTheCommandLinePlays) {
    writeToneFile(dir.file("caf\xE9.wav"), AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 5.0}}});
    // QProcess passes its arguments as UTF-8: the shell hands over the name's own bytes.
    first.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf 'caf\\351.wav')\""),
                 QStringLiteral(ZALVO_BINARY)});
    ASSERT_TRUE(
        waitUntil([this] { return get(QStringLiteral("PlaybackStatus")) == QStringLiteral("Playing"); }, 10000));
    const QVariantMap metadata = get(QStringLiteral("Metadata")).toMap();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:url")),
              QString::fromStdString("file://" + dir.path().string() + "/caf%E9.wav"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")), QStringLiteral("caf\u00E9.wav"));
}

TEST_F(LaunchTest, WithoutASessionBusThePlayerRunsAlone) {
    QProcessEnvironment environment = bus.environment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.path().string()));
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(ZALVO_BINARY));
    EXPECT_FALSE(first.waitForFinished(1500)) << first.readAllStandardError().toStdString();
    EXPECT_EQ(playersOnTheBus(), 0);
}

} // namespace

} // namespace zalvo
