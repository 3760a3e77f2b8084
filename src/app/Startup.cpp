#include "app/Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>

#include "AppInfo.h"
#include "app/CSignalWatch.h"
#include "app/CSingleInstance.h"
#include "app/QuietMessages.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "ui/controls/RegisterControls.h"
#include "ui/demo/CEmulatorWnd.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/main/CMainWnd.h"
#include "ui/main/CSleepWatch.h"

namespace q417::ui {
namespace {

constexpr int kExitUsage = 2;

// Lets queued work (device results, paints) run for a while on this thread.
void Pump(std::chrono::milliseconds duration) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < duration.count()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

std::set<int> VisibleEntries(const CMainWnd& main) {
    std::set<int> visible;
    for (int e = 0; e < main.EntryCount(); ++e) {
        if (main.IsEntryVisible(e)) {
            visible.insert(e);
        }
    }
    return visible;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    AppOptions& o = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--demo") {
            o.demo = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--screenshot" || a.starts_with("--screenshot=")) {
            std::string dir;
            if (a == "--screenshot") {
                if (i + 1 >= args.size() || args[i + 1].empty()) {
                    parsed.error = "--screenshot needs a folder";
                    return parsed;
                }
                dir = args[++i];
            } else {
                dir = a.substr(std::string("--screenshot=").size());
            }
            if (dir.empty()) {
                parsed.error = "--screenshot needs a folder";
                return parsed;
            }
            o.screenshotDir = QString::fromStdString(dir);
            o.demo = true;
            // A picture run is a separate process beside the user's own instance.
            o.singleInstance = false;
        } else {
            parsed.error = "unknown option " + a;
            return parsed;
        }
    }
    return parsed;
}

std::string UsageText() {
    return "usage: q417 [--demo] [--screenshot DIR] [--version] [--help]\n"
           "\n"
           "  --demo            run on emulated devices (a wired mouse and a receiver) and open\n"
           "                    the Emulator window to plug, unplug and press their buttons;\n"
           "                    the demo keeps its own profiles in the data folder's demo/\n"
           "                    sub-folder (~/.local/share/Q417/demo/) unless Q417_DATA_HOME\n"
           "                    names the folder to work in\n"
           "  --screenshot DIR  render every device page and settings page of the demo to\n"
           "                    DIR/q417-<entry>-<page>.png on Qt's offscreen platform and end\n"
           "  --version         print the version and end\n"
           "  --help            print this help and end\n"
           "\n"
           "A second start hands over to the running instance, which comes to the front.\n";
}

std::string VersionText() {
    return "q417 " + std::string(kProgramVersion) + "\n";
}

CApplicationShell::CApplicationShell(AppOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

CApplicationShell::~CApplicationShell() {
    if (main_) {
        main_->ShutDown();
    }
    // Members go in reverse order: watches, windows, the bus, the instance lock, the fonts.
}

CApplicationShell::StartResult CApplicationShell::Start() {
    // First of all, so that a SIGTERM during start-up still ends in order (it is handled by
    // the first event pass; ShutDownDone() then tells the caller not to run the loop).
    signals_ = std::make_unique<CSignalWatch>();
    connect(signals_.get(), &CSignalWatch::terminateRequested, this, &CApplicationShell::ShutDown);

    fonts_.Load(CFontLoader::DefaultFolders());
    QFont font = QApplication::font();
    font.setFamily(CFontLoader::UiFontFamily());
    QApplication::setFont(font);

    if (options_.singleInstance) {
        instance_ = std::make_unique<CSingleInstance>(options_.runtimeFolder.isEmpty()
                                                          ? CSingleInstance::RuntimeFolder()
                                                          : options_.runtimeFolder);
        if (instance_->Claim() == CSingleInstance::Role::HandedOver) {
            return StartResult::HandedOver;
        }
        connect(instance_.get(), &CSingleInstance::activationRequested, this,
                &CApplicationShell::OnActivation);
    }

    const QString root = CUiLoader::ResourceRoot();
    if (!QFile::exists(root + "res.xml")) {
        std::cerr << "q417: the skin is missing: no res.xml in " << root.toStdString() << '\n';
        return StartResult::Failed;
    }
    RegisterControls();

    MainWndOptions mainOptions;
    if (options_.demo) {
        bus_ = emu::MakeDemoBus();
        mainOptions.backend = bus_;
        mainOptions.useUdev = false;
    }
    main_ = std::make_unique<CMainWnd>(std::move(mainOptions));
    if (!main_->CreateMain()) {
        std::cerr << "q417: the main window's layout could not be loaded from "
                  << root.toStdString() << '\n';
        main_.reset();
        return StartResult::Failed;
    }
    ApplyStyleSheet();
    connect(main_.get(), &CMainWnd::quitRequested, this, &CApplicationShell::ShutDown);

    CMainWnd* wnd = main_.get();
    sleep_ = std::make_unique<CSleepWatch>([wnd] { wnd->OnSuspend(); }, [wnd] { wnd->OnResume(); });

    // Shown at once; the window hides itself until the first device scan has run.
    main_->show();
    if (bus_) {
        emulator_ = std::make_unique<CEmulatorWnd>(bus_);
        emulator_->show();
    }
    if (qEnvironmentVariable(kStartInTrayEnv) == "1") {
        // Checked until the first scan has shown the window, then never again.
        startInTray_ = std::make_unique<QTimer>();
        startInTray_->setInterval(50);
        connect(startInTray_.get(), &QTimer::timeout, this, [this] {
            if (!main_ || !main_->Manager().Activated() || !main_->isVisible()) {
                return;
            }
            startInTray_->stop();
            main_->ToggleFromTray();
            if (emulator_) {
                emulator_->hide();
            }
        });
        startInTray_->start();
    }
    return StartResult::Running;
}

void CApplicationShell::ApplyStyleSheet() {
    // The main window loads and scales the skin's style sheet before it builds its controls;
    // here only its absence is worth a word.
    if (qApp->styleSheet().isEmpty()) {
        std::cerr << "q417: no style sheet in the skin; the default look is used\n";
    }
}

void CApplicationShell::OnActivation() {
    if (main_ && !shutDown_) {
        main_->Activate();
    }
    emit activated();
    if (qEnvironmentVariable(kExitAfterActivationEnv) == "1") {
        QMetaObject::invokeMethod(this, &CApplicationShell::ShutDown, Qt::QueuedConnection);
    }
}

void CApplicationShell::ShutDown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    if (emulator_) {
        emulator_->close();
    }
    if (main_) {
        main_->ShutDown();
    }
    QCoreApplication::exit(0);
}

bool CApplicationShell::WaitForDevices(std::chrono::milliseconds bound) {
    // Ready once detection has run, something is visible, every visible page shows its device's
    // state, and the set of visible entries has stayed the same for a moment.
    constexpr qint64 kStableMs = 300;
    QElapsedTimer total;
    total.start();
    QElapsedTimer stable;
    stable.start();
    std::set<int> last;
    while (total.elapsed() < bound.count() && !shutDown_) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
        std::set<int> now = main_ ? VisibleEntries(*main_) : std::set<int>{};
        if (now != last || !main_->Manager().Activated()) {
            last = std::move(now);
            stable.restart();
            continue;
        }
        bool synchronised = true;
        for (int e : last) {
            synchronised = synchronised && main_->EntrySynchronised(e);
        }
        if (!last.empty() && synchronised && stable.elapsed() >= kStableMs) {
            return true;
        }
    }
    return false;
}

QStringList CApplicationShell::WriteScreenshots(const QString& dir) {
    QStringList written;
    if (!main_ || !QDir().mkpath(dir)) {
        std::cerr << "q417: cannot create " << dir.toStdString() << '\n';
        return written;
    }
    const QString folder = QDir(dir).absolutePath() + '/';
    if (!WaitForDevices(kScreenshotSettleBound)) {
        std::cerr << "q417: the demo devices did not settle within "
                  << kScreenshotSettleBound.count() << " ms; the pictures show what there is\n";
    }
    main_->Activate();
    Pump(std::chrono::milliseconds(200));
    auto save = [&](QWidget* w, const QString& name) {
        Pump(std::chrono::milliseconds(250));
        if (shutDown_) {
            return;  // SIGTERM/SIGINT: stop here
        }
        const QString path = folder + name;
        if (w->grab().save(path, "PNG")) {
            written << path;
        } else {
            std::cerr << "q417: cannot write " << path.toStdString() << '\n';
        }
    };
    const std::set<int> visible = VisibleEntries(*main_);
    if (visible.empty()) {
        save(main_.get(), "q417-nodevice.png");
    }
    for (int e : visible) {
        if (!main_->ShowEntryPage(e)) {
            continue;
        }
        const int pages = main_->SettingsPageCount(e);
        if (pages <= 0) {
            save(main_.get(), QString("q417-%1.png").arg(e));
        }
        for (int p = 0; p < pages; ++p) {
            main_->ShowSettingsPage(e, p);
            save(main_.get(), QString("q417-%1-%2.png").arg(e).arg(p));
        }
    }
    if (emulator_) {
        emulator_->Refresh();
        save(emulator_.get(), "q417-emulator.png");
    }
    return written;
}

int RunQ417(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedArguments parsed = ParseArguments(args);
    if (!parsed.error.empty()) {
        std::cerr << "q417: " << parsed.error << "\n\n" << UsageText();
        return kExitUsage;
    }
    AppOptions options = parsed.options;
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << VersionText();
        return 0;
    }

    if (const std::string missing = MissingDataMessage(true); !missing.empty()) {
        std::cerr << "q417: " << missing << '\n';
        return 1;
    }
    InstallQuietQtMessages();

    // A picture run renders offscreen whatever the display, and never touches the user's
    // profiles or settings unless told where to work (Q417_DATA_HOME).
    std::optional<QTemporaryDir> scratch;
    const bool screenshots = !options.screenshotDir.isEmpty();
    if (screenshots) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (qEnvironmentVariableIsEmpty("Q417_DATA_HOME")) {
            scratch.emplace(QDir::tempPath() + "/q417-screenshot-XXXXXX");
            if (!scratch->isValid()) {
                std::cerr << "q417: cannot create a scratch data folder\n";
                return 0;
            }
            FolderRedirects redirects;
            redirects.userData = scratch->path().toStdString() + "/data/";
            SetFolderRedirects(redirects);
            SettingsStore::SetFolderRedirect(scratch->path().toStdString() + "/config/");
        }
    }

    // The demo's profiles are not the user's: it works in a folder of its own.
    std::optional<DemoDataScope> demoData;
    if (options.demo && !scratch) {
        demoData.emplace();
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("q417");
    QApplication::setOrganizationName("Q417");
    QApplication::setApplicationVersion(QString::fromUtf8(kProgramVersion));
    // Ties the windows to the installed desktop entry (task bar icon, Wayland app id).
    QGuiApplication::setDesktopFileName(QString::fromUtf8(kApplicationId));
    QApplication::setApplicationDisplayName("Q417");
    // Closing the last window hides it in the tray; only "exit" and signals end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    int code = 0;
    {
        CApplicationShell shell(options);
        const CApplicationShell::StartResult started = shell.Start();
        if (started == CApplicationShell::StartResult::Running) {
            if (screenshots) {
                for (const QString& file : shell.WriteScreenshots(options.screenshotDir)) {
                    std::cout << file.toStdString() << '\n';
                }
                shell.ShutDown();
            } else {
                QApplication::processEvents();
                if (!shell.ShutDownDone()) {
                    code = QApplication::exec();
                }
                shell.ShutDown();
            }
        }
    }
    (void)code;  // the process ends with 0 on every path
    return 0;
}

}  // namespace q417::ui
