// The desktop application on the demo devices, on Qt's offscreen platform, built the way q417
// builds itself (CApplicationShell), with a scratch data home.
//
//   startup_to_first_paint_ms  from entering main to the main window's first paint after the
//                              first device scan showed it                     goal <= 400 ms
//   rss_after_startup_mb       VmRSS once the devices are synchronised         goal <= 80 MB
//   cpu_tray_percent           share of one core over 10 s with the window hidden in the tray
//                                                                              goal <= 0.2 %
//   cpu_mouse_page_percent     the same with the mouse page shown and its picture animating
//                                                                              (reported)
// Usage: ui_app [seconds per CPU phase, default 10]
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "BenchUtil.h"
#include "UiBenchFolders.h"
#include "app/Startup.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "ui/demo/CEmulatorWnd.h"
#include "ui/main/CMainWnd.h"

namespace {

using Clock = std::chrono::steady_clock;

double RssMegabytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}

// Notes the first paint of a visible window.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted &&
            static_cast<QWidget*>(watched)->isVisible()) {
            painted = true;
            at = Clock::now();
        }
        return false;
    }
    bool painted = false;
    Clock::time_point at;
};

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU ticks (user + system) per thread, keyed by "tid name".
std::map<QString, long> ThreadTicks() {
    std::map<QString, long> ticks;
    for (const QString& tid :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/self/task/" + tid + "/stat");
        QFile comm("/proc/self/task/" + tid + "/comm");
        if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        // Fields after the ")" of the name: state is field 3, utime 14, stime 15.
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12) {
            ticks[tid + " " + QString::fromUtf8(comm.readAll().trimmed())] =
                f[11].toLong() + f[12].toLong();
        }
    }
    return ticks;
}

// The share of one core the process used over `seconds`; the busiest threads go to stderr.
double CpuPercentOver(int seconds) {
    const auto before = ThreadTicks();
    const double cpu0 = q417::bench::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    RunFor(seconds * 1000);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double percent = 100.0 * (q417::bench::ProcessCpuSeconds() - cpu0) / wall;
    const long hz = ::sysconf(_SC_CLK_TCK);
    for (const auto& [thread, ticks] : ThreadTicks()) {
        const auto it = before.find(thread);
        const long used = ticks - (it == before.end() ? 0 : it->second);
        if (used > 0) {
            std::fprintf(stderr, "    thread %-28s %6.3f %%\n", thread.toUtf8().constData(),
                         100.0 * static_cast<double>(used) / static_cast<double>(hz) / wall);
        }
    }
    return percent;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    q417::bench::UiBenchFolders folders;

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("q417");
    QApplication::setQuitOnLastWindowClosed(false);

    q417::ui::AppOptions options;
    options.demo = true;
    options.singleInstance = false;
    q417::ui::CApplicationShell shell(options);
    FirstPaint paint;
    if (shell.Start() != q417::ui::CApplicationShell::StartResult::Running) {
        std::fprintf(stderr, "ui_app: the application did not start\n");
        return 1;
    }
    q417::ui::CMainWnd* main = shell.MainWindow();
    main->installEventFilter(&paint);
    if (shell.EmulatorWindow() != nullptr) {
        shell.EmulatorWindow()->hide();  // not part of a normal start
    }
    QElapsedTimer bound;
    bound.start();
    while (!paint.painted && bound.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!paint.painted) {
        std::fprintf(stderr, "ui_app: the main window was not painted within 10 s\n");
        return 1;
    }
    const double startupMs = std::chrono::duration<double, std::milli>(paint.at - start).count();
    std::printf("startup_to_first_paint_ms  %8.1f   (goal <= 400)\n", startupMs);

    RunFor(2000);  // devices synchronised, pages filled
    std::printf("rss_after_startup_mb       %8.1f   (goal <= 80)\n", RssMegabytes());

    main->HideToTray();
    RunFor(500);
    std::printf("cpu_tray_percent           %8.3f   (goal <= 0.2, %d s)\n", CpuPercentOver(seconds),
                seconds);

    main->Activate();
    for (int e = 0; e < main->EntryCount(); ++e) {
        if (main->IsEntryVisible(e)) {
            main->ShowEntryPage(e);
            break;
        }
    }
    RunFor(500);
    std::printf("cpu_mouse_page_percent     %8.3f   (reported, %d s)\n", CpuPercentOver(seconds),
                seconds);
    std::fflush(stdout);
    shell.ShutDown();
    return 0;
}
