#pragma once
// A main window on a fresh emulated bus with scratch data, cache and settings folders; message
// boxes are answered at once and their texts kept. Tests start the window when their bus is
// set up and wait for the mouse page to show the device.
#include <gtest/gtest.h>

#include <QLabel>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "ui/UiTestUtil.h"
#include "ui/controls/RegisterControls.h"
#include "ui/main/CMainWnd.h"
#include "ui/main/CMousePage.h"

namespace q417::ui::test {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const std::string root = dir_.path().toStdString();
        FolderRedirects redirects;
        redirects.userData = root + "/data/";
        redirects.cache = root + "/cache/";
        SetFolderRedirects(redirects);
        SettingsStore::SetFolderRedirect(root + "/config/");
        RegisterControls();
        // Message boxes are answered here instead of waiting for a user.
        CWindowBase::SetModalHook([this](CWindowBase& w) {
            auto* text = w.FindControl<QLabel>("MessageText");
            messages_.push_back(text ? text->text() : w.objectName());
            return 1;
        });
        bus_ = std::make_shared<emu::EmulatedHidBus>();
    }

    void TearDown() override {
        if (listener_ >= 0) {
            bus_->RemoveChangeListener(listener_);
        }
        if (main_) {
            main_->ShutDown();
            main_.reset();
        }
        CWindowBase::SetModalHook({});
        SettingsStore::SetFolderRedirect(std::nullopt);
        SetFolderRedirects({});
    }

    // The window's options; a test may fix the screen size it is laid out for.
    virtual MainWndOptions Options() const {
        MainWndOptions options;
        options.backend = bus_;
        options.useUdev = false;
        return options;
    }

    void Start() {
        main_ = std::make_unique<CMainWnd>(Options());
        ASSERT_TRUE(main_->CreateMain());
        CMainWnd* main = main_.get();
        listener_ = bus_->AddChangeListener([main] { main->Manager().Wake(); });
        ASSERT_TRUE(PumpUntil([&] { return main_->Manager().Activated(); }));
    }

    int VisibleEntry() const {
        for (int e = 0; e < main_->EntryCount(); ++e) {
            if (main_->IsEntryVisible(e)) {
                return e;
            }
        }
        return -1;
    }

    // Waits for a visible mouse whose page has shown the device's state.
    CMousePage* WaitForMousePage() {
        CMousePage* page = nullptr;
        PumpUntil([&] {
            const int e = VisibleEntry();
            page = e >= 0 ? main_->MousePage(e) : nullptr;
            return page && page->Snapshot() && page->Snapshot()->mouse && page->Snapshot()->open;
        });
        return page;
    }

    QTemporaryDir dir_;
    std::shared_ptr<emu::EmulatedHidBus> bus_;
    std::unique_ptr<CMainWnd> main_;
    int listener_ = -1;
    std::vector<QString> messages_;
};

}  // namespace q417::ui::test
