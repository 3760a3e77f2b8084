#pragma once
// The program q417 around its main window: options, fonts, the single instance, the skin and
// the control registry, the main window (on the emulated bus with --demo, with the "Emulator"
// window beside it), suspend/resume, SIGTERM/SIGINT, the screenshot mode and the orderly end.
// Every path ends with exit code 0, except a command-line usage error (2).
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/FontLoader.h"

namespace q417::emu {
class EmulatedHidBus;
}

namespace q417::ui {

class CMainWnd;
class CEmulatorWnd;
class CSingleInstance;
class CSleepWatch;
class CSignalWatch;

struct AppOptions {
    bool demo = false;
    bool help = false;
    bool version = false;
    // Set: write the pictures of every page there and end (implies demo, offscreen).
    QString screenshotDir;
    // One running instance per user (the benches and the screenshot mode run beside it).
    bool singleInstance = true;
    // Where the instance lock and socket live; empty: CSingleInstance::RuntimeFolder().
    QString runtimeFolder;
};

struct ParsedArguments {
    AppOptions options;
    std::string error;  // set: a usage error
};

// The program's own options (argv[0] excluded).
ParsedArguments ParseArguments(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();

// Test hook: with Q417_EXIT_AFTER_ACTIVATION=1 the running instance ends (in order, code 0)
// right after handling an activation from a second start.
inline constexpr const char* kExitAfterActivationEnv = "Q417_EXIT_AFTER_ACTIVATION";
// Measurement hook: with Q417_START_IN_TRAY=1 the window goes to the tray (hidden, as the tray
// icon's click hides it) once the first device scan has shown it; the demo's Emulator window too.
inline constexpr const char* kStartInTrayEnv = "Q417_START_IN_TRAY";

class CApplicationShell : public QObject {
    Q_OBJECT
public:
    enum class StartResult {
        Running,     // the main window is up; run the event loop
        HandedOver,  // another instance runs and was activated: end
        Failed       // the skin could not be loaded (reported on stderr): end
    };
    static constexpr std::chrono::milliseconds kScreenshotSettleBound{5000};

    explicit CApplicationShell(AppOptions options, QObject* parent = nullptr);
    ~CApplicationShell() override;

    // Needs the QApplication.
    StartResult Start();
    // Orderly end: the emulator window closes, the main window stops its devices and workers,
    // then the application's loop is asked to end with code 0. Safe to call twice.
    void ShutDown();
    bool ShutDownDone() const { return shutDown_; }

    CMainWnd* MainWindow() const { return main_.get(); }
    CEmulatorWnd* EmulatorWindow() const { return emulator_.get(); }
    std::shared_ptr<emu::EmulatedHidBus> DemoBus() const { return bus_; }
    const CFontLoader& Fonts() const { return fonts_; }

    // Waits (bounded) until the devices are found and their pages filled, then writes
    // dir/q417-<entry>-<page>.png for every visible entry and settings page and
    // dir/q417-emulator.png. The file names written, in order.
    QStringList WriteScreenshots(const QString& dir);

signals:
    // The running instance was activated by a second start.
    void activated();

private:
    void OnActivation();
    bool WaitForDevices(std::chrono::milliseconds bound);
    void ApplyStyleSheet();

    AppOptions options_;
    CFontLoader fonts_;
    std::unique_ptr<CSingleInstance> instance_;
    std::shared_ptr<emu::EmulatedHidBus> bus_;
    std::unique_ptr<CMainWnd> main_;
    std::unique_ptr<CEmulatorWnd> emulator_;
    std::unique_ptr<CSleepWatch> sleep_;
    std::unique_ptr<CSignalWatch> signals_;
    std::unique_ptr<QTimer> startInTray_;
    bool shutDown_ = false;
};

// The whole program: returns the process's exit code.
int RunQ417(int argc, char** argv);

}  // namespace q417::ui
