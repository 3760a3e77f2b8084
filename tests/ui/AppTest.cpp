// The program around the main window: options, the single instance (in this process and
// between q417 processes), a killed instance's leftovers, signals, sleep, fonts, the demo's
// Emulator window and the screenshot mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "app/CSignalWatch.h"
#include "app/CSingleInstance.h"
#include "app/FontLoader.h"
#include "app/QuietMessages.h"
#include "app/Startup.h"
#include "emulator/DemoBus.h"
#include "ui/demo/CEmulatorWnd.h"
#include "ui/main/CSleepWatch.h"

namespace q417::ui {
namespace {

// Processes events until pred() holds or the bound passes.
template <class Pred>
bool PumpUntil(Pred pred, int boundMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > boundMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

TEST(AppOptionsTest, ParsesOptionsAndRefusesMistakes) {
    ParsedArguments p = ParseArguments({"--demo"});
    EXPECT_TRUE(p.error.empty());
    EXPECT_TRUE(p.options.demo);
    EXPECT_TRUE(p.options.singleInstance);

    p = ParseArguments({"--screenshot", "/tmp/shots"});
    EXPECT_TRUE(p.error.empty());
    EXPECT_TRUE(p.options.demo) << "a picture run is a demo run";
    EXPECT_FALSE(p.options.singleInstance) << "it must not hand over to the user's instance";
    EXPECT_EQ(p.options.screenshotDir, "/tmp/shots");
    EXPECT_EQ(ParseArguments({"--screenshot=/x"}).options.screenshotDir, "/x");

    EXPECT_FALSE(ParseArguments({"--screenshot"}).error.empty());
    EXPECT_FALSE(ParseArguments({"--screenshot="}).error.empty());
    EXPECT_FALSE(ParseArguments({"--demo", "--bogus"}).error.empty());
    EXPECT_FALSE(ParseArguments({"stray"}).error.empty());
    EXPECT_TRUE(ParseArguments({"--version", "--help"}).options.help);
}

// The second start runs on another thread, as it would in another process: the first one's
// acknowledgement needs this thread's event loop.
CSingleInstance::Role ClaimOnThread(const QString& folder, bool* acked) {
    std::atomic<bool> done{false};
    CSingleInstance::Role role = CSingleInstance::Role::First;
    std::thread t([&] {
        CSingleInstance second(folder);
        role = second.Claim(std::chrono::milliseconds(3000));
        *acked = second.Acknowledged();
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    t.join();
    return role;
}

TEST(SingleInstanceTest, SecondStartHandsOverAndIsAcknowledged) {
    QTemporaryDir dir;
    CSingleInstance first(dir.path());
    ASSERT_EQ(first.Claim(), CSingleInstance::Role::First);
    int activations = 0;
    QObject::connect(&first, &CSingleInstance::activationRequested, [&] { ++activations; });

    bool acked = false;
    EXPECT_EQ(ClaimOnThread(dir.path(), &acked), CSingleInstance::Role::HandedOver);
    EXPECT_TRUE(acked);
    EXPECT_TRUE(PumpUntil([&] { return activations == 1; }, 2000));
    EXPECT_EQ(ClaimOnThread(dir.path(), &acked), CSingleInstance::Role::HandedOver);
    EXPECT_TRUE(PumpUntil([&] { return activations == 2; }, 2000));
}

TEST(SingleInstanceTest, LeftoversOfAKilledInstanceAreReplaced) {
    QTemporaryDir dir;
    const QString lockPath = CSingleInstance(dir.path()).LockPath();
    const QString socketPath = CSingleInstance(dir.path()).SocketPath();
    // A child takes the lock, leaves a bound socket file and dies without cleaning up.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QLockFile lock(lockPath);
        lock.tryLock(0);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(socketPath);
        std::memcpy(addr.sun_path, p.constData(), std::min<std::size_t>(p.size(), 100));
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(QFileInfo::exists(lockPath));
    ASSERT_TRUE(QFileInfo::exists(socketPath));

    CSingleInstance next(dir.path());
    ASSERT_EQ(next.Claim(), CSingleInstance::Role::First);
    int activations = 0;
    QObject::connect(&next, &CSingleInstance::activationRequested, [&] { ++activations; });
    bool acked = false;
    EXPECT_EQ(ClaimOnThread(dir.path(), &acked), CSingleInstance::Role::HandedOver);
    EXPECT_TRUE(acked);
    EXPECT_TRUE(PumpUntil([&] { return activations == 1; }, 2000));
}

TEST(SingleInstanceTest, GarbageOnTheSocketActivatesNothing) {
    QTemporaryDir dir;
    CSingleInstance first(dir.path());
    ASSERT_EQ(first.Claim(), CSingleInstance::Role::First);
    int activations = 0;
    QObject::connect(&first, &CSingleInstance::activationRequested, [&] { ++activations; });
    QLocalSocket s;
    s.connectToServer(first.SocketPath());
    ASSERT_TRUE(s.waitForConnected(2000));
    s.write("hello\n");
    s.flush();
    EXPECT_TRUE(PumpUntil([&] { return s.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(activations, 0);
}

TEST(QuietMessagesTest, OnlyKnownPlatformChatterIsDropped) {
    EXPECT_TRUE(IsHarmlessQtMessage(QtWarningMsg, "default",
                                    "This plugin does not support propagateSizeHints()"));
    EXPECT_TRUE(IsHarmlessQtMessage(QtWarningMsg, nullptr, "This plugin does not support raise()"));
    EXPECT_TRUE(IsHarmlessQtMessage(QtWarningMsg, "default",
                                    "Qt: Session management error: None of the authentication "
                                    "protocols specified are supported"));
    // Real warnings pass: another text, the same text in another category, or a graver type.
    EXPECT_FALSE(IsHarmlessQtMessage(QtWarningMsg, "default",
                                     "QWidget::setLayout: Attempting to set QLayout"));
    EXPECT_FALSE(IsHarmlessQtMessage(QtWarningMsg, "default",
                                     "This plugin does not support propagateSizeHints() now"));
    EXPECT_FALSE(
        IsHarmlessQtMessage(QtWarningMsg, "qt.qpa.xcb", "This plugin does not support raise()"));
    EXPECT_FALSE(IsHarmlessQtMessage(QtCriticalMsg, "default",
                                     "This plugin does not support propagateSizeHints()"));
}

TEST(SignalWatchTest, TermBecomesASignalAndTheOldHandlerComesBack) {
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        CSignalWatch watch;
        ASSERT_TRUE(watch.Active());
        int got = 0;
        QObject::connect(&watch, &CSignalWatch::terminateRequested, [&](int s) { got = s; });
        ::raise(SIGTERM);
        EXPECT_TRUE(PumpUntil([&] { return got != 0; }, 2000));
        EXPECT_EQ(got, SIGTERM);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(SleepWatchTest, SuspendAndResumeEachOnceAndInOrder) {
    QString calls;
    CSleepWatch watch([&] { calls += 'S'; }, [&] { calls += 'R'; });
    watch.OnPrepareForSleep(false);  // already awake
    watch.OnPrepareForSleep(true);
    watch.OnPrepareForSleep(true);
    watch.OnPrepareForSleep(false);
    EXPECT_EQ(calls, "SR");
}

TEST(FontLoaderTest, LoadsWhatIsThereAndReleasesIt) {
    QTemporaryDir empty;
    {
        CFontLoader none;
        EXPECT_EQ(none.Load({empty.path() + "/"}), 0);
        EXPECT_FALSE(CFontLoader::UiFontFamily().isEmpty());
    }
    const QString system = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!QFile::exists(system)) {
        GTEST_SKIP() << "no DejaVu font to stand in for ours";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(system, dir.path() + "/MiSans-Light.ttf"));
    QFile(dir.path() + "/Halvex-Regular.otf").open(QIODevice::WriteOnly);  // empty: unusable
    int id = -1;
    {
        CFontLoader fonts;
        EXPECT_EQ(fonts.Load({empty.path() + "/", dir.path() + "/"}), 1);
        ASSERT_EQ(fonts.Ids().size(), 1u);
        id = fonts.Ids()[0];
        EXPECT_FALSE(QFontDatabase::applicationFontFamilies(id).isEmpty());
    }
    EXPECT_TRUE(QFontDatabase::applicationFontFamilies(id).isEmpty()) << "not released";
}

TEST(EmulatorWndTest, ButtonsDriveTheBus) {
    auto bus = emu::MakeDemoBus();
    CEmulatorWnd wnd(bus);
    const emu::DeviceId wired = wnd.DeviceAt(CEmulatorWnd::kWired);
    const emu::DeviceId receiver = wnd.DeviceAt(CEmulatorWnd::kReceiver);
    ASSERT_NE(wired, emu::kNoDevice);
    ASSERT_NE(receiver, emu::kNoDevice);
    EXPECT_EQ(wnd.DeviceAt(CEmulatorWnd::kReceiver2), emu::kNoDevice);
    EXPECT_EQ(wnd.TargetMouse(), wired);

    const uint8_t profile = bus->CurrentProfile(wired).value();
    ASSERT_TRUE(wnd.PressProfileButton());
    EXPECT_NE(bus->CurrentProfile(wired).value(), profile);
    const uint8_t stage = bus->ActiveDpiStage(wired).value();
    ASSERT_TRUE(wnd.PressDpiButton());
    EXPECT_NE(bus->ActiveDpiStage(wired).value(), stage);

    // Cable out: the buttons act through the receiver; its mouse off: on nothing.
    ASSERT_TRUE(wnd.TogglePlug(CEmulatorWnd::kWired));
    EXPECT_FALSE(bus->IsPlugged(wired));
    EXPECT_EQ(wnd.TargetMouse(), receiver);
    ASSERT_TRUE(wnd.ToggleLink(CEmulatorWnd::kReceiver));
    EXPECT_EQ(bus->LinkUp(receiver), false);
    EXPECT_EQ(wnd.TargetMouse(), emu::kNoDevice);
    EXPECT_FALSE(wnd.PressDpiButton());

    // Plugged again: a new device, as a real re-plug; the 0x7103 receiver comes and goes.
    ASSERT_TRUE(wnd.TogglePlug(CEmulatorWnd::kWired));
    EXPECT_NE(wnd.DeviceAt(CEmulatorWnd::kWired), wired);
    EXPECT_TRUE(bus->IsPlugged(wnd.DeviceAt(CEmulatorWnd::kWired)));
    ASSERT_TRUE(wnd.TogglePlug(CEmulatorWnd::kReceiver2));
    EXPECT_EQ(bus->ProductOf(wnd.DeviceAt(CEmulatorWnd::kReceiver2)), emu::kReceiver2ProductId);

    // A change made elsewhere on the bus shows up too.
    bus->Unplug(wnd.DeviceAt(CEmulatorWnd::kReceiver2));
    EXPECT_TRUE(
        PumpUntil([&] { return wnd.DeviceAt(CEmulatorWnd::kReceiver2) == emu::kNoDevice; }, 2000));
}

// --- The q417 program itself ---------------------------------------------------------------

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        program = QCoreApplication::applicationDirPath() + "/../q417";
        if (!QFileInfo(program).isExecutable()) {
            GTEST_SKIP() << "q417 is not built next to the tests";
        }
        env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", scratch.path() + "/run");
        env.insert("Q417_DATA_HOME", scratch.path() + "/data");
        env.insert("Q417_CONFIG_HOME", scratch.path() + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert(kExitAfterActivationEnv, "1");
        QDir().mkpath(scratch.path() + "/run");
        const QString name = CSingleInstance::InstanceName();
        lockPath = scratch.path() + "/run/" + name + ".lock";
        socketPath = scratch.path() + "/run/" + name + ".socket";
    }
    std::unique_ptr<QProcess> Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    // The first line of the lock file is its owner's pid.
    qint64 LockOwner() const {
        QFile f(lockPath);
        return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : -1;
    }
    // Waits until p holds the lock and listens.
    bool WaitRunning(QProcess& p) {
        return PumpUntil(
            [&] {
                if (LockOwner() != p.processId()) {
                    return false;
                }
                QLocalSocket probe;
                probe.connectToServer(socketPath);
                return probe.waitForConnected(100);
            },
            20000);
    }
    void ExpectHandOver(QProcess& first) {
        auto second = Start({"--demo"});
        ASSERT_TRUE(second->waitForFinished(15000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        // The first one got the activation: with the test hook it then ends in order.
        ASSERT_TRUE(first.waitForFinished(15000)) << "the running instance was not activated";
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 0);
    }

    QTemporaryDir scratch;
    QString program;
    QProcessEnvironment env;
    QString lockPath;
    QString socketPath;
};

TEST_F(ProgramTest, SecondProcessHandsOverAndBothEndWithZero) {
    auto first = Start({"--demo"});
    ASSERT_TRUE(WaitRunning(*first));
    ExpectHandOver(*first);
    EXPECT_FALSE(QFileInfo::exists(lockPath));
}

TEST_F(ProgramTest, NextStartWorksAfterAKilledInstance) {
    auto killed = Start({"--demo"});
    ASSERT_TRUE(WaitRunning(*killed));
    killed->kill();  // SIGKILL: lock and socket stay behind
    ASSERT_TRUE(killed->waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(lockPath));

    auto first = Start({"--demo"});
    ASSERT_TRUE(WaitRunning(*first)) << "the stale lock was not taken over";
    ExpectHandOver(*first);
}

TEST_F(ProgramTest, SigtermEndsInOrderWithZero) {
    auto first = Start({"--demo"});
    ASSERT_TRUE(WaitRunning(*first));
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(15000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(socketPath));
}

TEST_F(ProgramTest, ScreenshotModeWritesPicturesAndEnds) {
    const QString shots = scratch.path() + "/shots";
    auto p = Start({"--screenshot", shots});
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_EQ(p->exitCode(), 0);
    const QStringList files = QDir(shots).entryList({"*.png"}, QDir::Files);
    const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
    EXPECT_TRUE(files.contains("q417-emulator.png")) << out.toStdString();
    EXPECT_GE(files.size(), 2) << "no device page pictured: " << out.toStdString();
    for (const QString& f : files) {
        EXPECT_TRUE(out.contains(f)) << f.toStdString();
        EXPECT_GT(QFileInfo(shots + "/" + f).size(), 1000) << f.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(lockPath)) << "a picture run must not claim the instance";
    // The offscreen platform's chatter about what it does not implement stays out of a run.
    const QString err = QString::fromLocal8Bit(p->readAllStandardError());
    EXPECT_FALSE(err.contains("This plugin does not support")) << err.toStdString();
}

TEST_F(ProgramTest, TheDemoKeepsItsProfilesOutOfTheUsersFolder) {
    EXPECT_NE(UsageText().find("demo/"), std::string::npos);
    EXPECT_NE(UsageText().find("Q417_DATA_HOME"), std::string::npos);
    env.remove("Q417_DATA_HOME");
    env.insert("XDG_DATA_HOME", scratch.path() + "/xdg");
    const QString user = scratch.path() + "/xdg/Q417";
    auto demo = Start({"--demo"});
    ASSERT_TRUE(WaitRunning(*demo));
    EXPECT_TRUE(
        PumpUntil([&] { return QFileInfo::exists(user + "/demo/mouse/ProfileList.ini"); }, 20000));
    demo->terminate();
    ASSERT_TRUE(demo->waitForFinished(15000));
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"demo"});
}

TEST_F(ProgramTest, UsageErrorsAndInformation) {
    auto p = Start({"--version"});
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardOutput().startsWith("q417 "));
    p = Start({"--nonsense"});
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 2);
    EXPECT_TRUE(p->readAllStandardError().contains("--nonsense"));
}

}  // namespace
}  // namespace q417::ui
