// Message box, about window, colour dialog with its colour store, and the skin frame with the
// skin subject and main.ini. Modal windows are answered through the modal hook.
#include <gtest/gtest.h>
#include <json/json.h>

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Trace.h"
#include "profiles/CJsonFile.h"
#include "ui/dialogs/CAboutWnd.h"
#include "ui/dialogs/CColorSelectWnd.h"
#include "ui/dialogs/CMsgWnd.h"
#include "ui/dialogs/CSkinFrame.h"
#include "ui/dialogs/CSkinSubject.h"
#include "ui/dialogs/ColourStore.h"
#include "ui/dialogs/SkinSettings.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {
namespace {

// Each test gets its own user data folder and leaves no hook behind.
class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        FolderRedirects redirects;
        redirects.userData = dir_.path().toStdString() + "/";
        SetFolderRedirects(redirects);
        ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage("lan_en.xml"));
    }
    void TearDown() override {
        CWindowBase::SetModalHook({});
        CSkinFrame::SetOpenFileHook({});
        SetTraceSink({});
        SetFolderRedirects({});
    }
    QString Path(const QString& name) const { return dir_.path() + "/" + name; }

    QTemporaryDir dir_;
};

// Clicks a named button of a window the way a user would.
void Click(CWindowBase& window, const QString& name) {
    auto* button = window.FindControl<QPushButton>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    button->click();
}

// Types into an edit: the text changes and the window hears "textchanged".
void Type(CWindowBase& window, const QString& name, const QString& text) {
    auto* edit = window.FindControl<QLineEdit>(name);
    ASSERT_NE(edit, nullptr) << name.toStdString();
    edit->setText(text);
    SendNotify(edit, notify::kTextChanged);
}

int ResultOf(CWindowBase& window) {
    return static_cast<CDialogBase&>(window).Result();
}

TEST_F(DialogsTest, MessageBoxButtonsDecideTheResult) {
    // One button: only confirm shows, the close button answers 0.
    bool cancelHidden = false;
    bool confirmShown = false;
    QString title, text;
    CWindowBase::SetModalHook([&](CWindowBase& w) {
        cancelHidden = w.FindControl<QWidget>("cancel_btn")->isHidden();
        confirmShown = !w.FindControl<QWidget>("confirm_btn")->isHidden();
        title = w.FindControl<QLabel>("MessageTitle")->text();
        text = w.FindControl<QLabel>("MessageText")->text();
        Click(w, "closebtn");
        return ResultOf(w);
    });
    EXPECT_EQ(
        ShowMessage(nullptr, "msgwnd_title", "some text that is no key", 96, msgtext::kDefault, 0),
        0);
    EXPECT_TRUE(cancelHidden);
    EXPECT_TRUE(confirmShown);
    EXPECT_EQ(title, CResourceManager::GetInstance().Text("msgwnd_title"));
    EXPECT_NE(title, "msgwnd_title");
    EXPECT_EQ(text, "some text that is no key");

    // Two buttons: confirm answers 1, cancel 0.
    for (const auto& [button, expected] :
         {std::pair{"confirm_btn", 1}, std::pair{"cancel_btn", 0}}) {
        bool bothShown = false;
        CWindowBase::SetModalHook([&, name = QString(button)](CWindowBase& w) {
            bothShown = !w.FindControl<QWidget>("cancel_btn")->isHidden() &&
                        !w.FindControl<QWidget>("confirm_btn")->isHidden();
            Click(w, name);
            return ResultOf(w);
        });
        EXPECT_EQ(ShowMessage(nullptr, "", "message", 96, 0, 1), expected) << button;
        EXPECT_TRUE(bothShown);
    }

    // Whatever a closing path hands back, only the confirm button's 1 counts as yes.
    CWindowBase::SetModalHook([](CWindowBase&) { return 2; });
    EXPECT_EQ(ShowMessage(nullptr, "", "message", 96, 0, 1), 0);
}

TEST_F(DialogsTest, MessageBoxReplacesAnUnknownScaleBy96) {
    std::vector<std::string> traces;
    SetTraceSink([&](std::string_view line) { traces.emplace_back(line); });
    std::vector<int> seen;
    CWindowBase::SetModalHook([&](CWindowBase& w) {
        seen.push_back(w.Dpi());
        return 0;
    });
    ShowMessage(nullptr, "", "x", 100, 0, 0);
    ShowMessage(nullptr, "", "x", 144, 0, 0);
    ShowMessageText(nullptr, "formatted 12", 0);
    EXPECT_EQ(seen, (std::vector<int>{96, 144, 96}));
    EXPECT_EQ(std::count_if(
                  traces.begin(), traces.end(),
                  [](const std::string& t) { return t.find("MSG_WND DPI SET ERROR") != t.npos; }),
              2);
}

TEST_F(DialogsTest, AboutShowsTheProgramVersion) {
    QCoreApplication::setApplicationVersion("3.1.4");
    QString version;
    CWindowBase::SetModalHook([&](CWindowBase& w) {
        version = w.FindControl<QLabel>("software_ver_label")->text();
        Click(w, "closebtn");
        return ResultOf(w);
    });
    ShowAbout(nullptr, 96);
    QCoreApplication::setApplicationVersion({});
    EXPECT_EQ(version, CResourceManager::GetInstance().Text("software_rev_text").arg("3.1.4"));
    EXPECT_TRUE(version.contains("3.1.4"));
}

// ---- colour dialog and store

ColourOptions LayoutDefaults() {
    CColorSelectWnd wnd;
    EXPECT_TRUE(wnd.Build());
    return wnd.Options();
}

TEST_F(DialogsTest, ColourStoreRoundTripsAndHexReadsWithBase16) {
    ColourOptions written;
    for (int i = 0; i < kColourOptionCount; ++i) {
        const auto s = static_cast<std::size_t>(i);
        written.presets[s] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010203);
        written.collected[s] = 0xFF100000u + static_cast<std::uint32_t>(i);
        written.collectedFilled[s] = i % 3 == 0;
    }
    written.presetSelect = 7;
    written.collectSelect = 19;
    ASSERT_TRUE(WriteColourStore(written));

    ColourOptions read;
    ASSERT_TRUE(ReadColourStore(read));
    EXPECT_EQ(read.presets, written.presets);
    EXPECT_EQ(read.collected, written.collected);
    EXPECT_EQ(read.collectedFilled, written.collectedFilled);
    EXPECT_EQ(read.presetSelect, 7);
    EXPECT_EQ(read.collectSelect, 19);

    EXPECT_EQ(ParseColourText("FF20A0FF"), 0xFF20A0FFu);
    EXPECT_EQ(ParseColourText("0x20a0ff"), 0x20A0FFu);
    EXPECT_EQ(ParseColourText("12G4"), 0u);
    EXPECT_EQ(ParseColourText(""), 0u);
    EXPECT_EQ(ParseColourText("1FFFFFFFF"), 0u);
}

TEST_F(DialogsTest, MissingOrDamagedColourStoreLeavesTheLayoutColours) {
    const ColourOptions defaults = LayoutDefaults();
    // The layout offers 20 distinct, opaque presets.
    for (std::uint32_t c : defaults.presets) {
        EXPECT_EQ(c >> 24, 0xFFu);
    }
    EXPECT_NE(defaults.presets[0], defaults.presets[1]);

    // Deleted store: the layout's colours.
    QFile::remove(QString::fromStdString(ColourStorePath()));
    EXPECT_EQ(LayoutDefaults().presets, defaults.presets);

    // Wrong types, a short array, a bad hex text and out-of-range indexes.
    const char* damaged = R"({"coloroptioninfo": {
        "palletDialogcoloroption": [{"color": 5}, "plain", {"color": "zz"}, {"color": "FF010203"}],
        "palletDialogcoloroption_selectitem": 20,
        "palletDialogcollectcoloroption": {"color": "FF000000"},
        "palletDialogcollectcoloroption_selectitem": "3"}})";
    ASSERT_TRUE(WriteFileAtomically(ColourStorePath(), damaged));
    CColorSelectWnd wnd;
    ASSERT_TRUE(wnd.Build());
    const ColourOptions& got = wnd.Options();
    EXPECT_EQ(got.presets[0], defaults.presets[0]);
    EXPECT_EQ(got.presets[1], defaults.presets[1]);
    EXPECT_EQ(got.presets[2], 0u);  // present but unreadable: 0
    EXPECT_EQ(got.presets[3], 0xFF010203u);
    EXPECT_EQ(got.presets[4], defaults.presets[4]);
    EXPECT_EQ(got.presetSelect, defaults.presetSelect);
    EXPECT_EQ(got.collectedFilled, defaults.collectedFilled);
    EXPECT_EQ(got.collectSelect, -1);

    // A store that does not parse is kept aside when the dialog next writes.
    ASSERT_TRUE(WriteFileAtomically(ColourStorePath(), "{ not json"));
    ColourOptions untouched = defaults;
    EXPECT_FALSE(ReadColourStore(untouched));
    EXPECT_EQ(untouched.presets, defaults.presets);
    ASSERT_TRUE(WriteColourStore(defaults));
    const QStringList aside = QDir(dir_.path()).entryList({"color_option_info.config.unreadable*"});
    EXPECT_EQ(aside.size(), 1);
}

TEST_F(DialogsTest, ChooseColourTakesTheColourOnlyOnOk) {
    CWindowBase::SetModalHook([](CWindowBase& w) {
        Type(w, "color_edit_r", "10");
        Type(w, "color_edit_b", "300");  // clamped to the channel's range
        Click(w, "okbtn");
        return ResultOf(w);
    });
    const auto ok = ChooseColour(nullptr, QColor(200, 100, 50), 96);
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(*ok, QColor(10, 100, 255));

    for (const char* closer : {"cancelbtn", "closebtn"}) {
        CWindowBase::SetModalHook([name = QString(closer)](CWindowBase& w) {
            Type(w, "color_edit_g", "1");
            Click(w, name);
            return ResultOf(w);
        });
        EXPECT_FALSE(ChooseColour(nullptr, QColor(200, 100, 50), 96).has_value()) << closer;
    }
}

TEST_F(DialogsTest, PresetsAndCollectedColoursAreRemembered) {
    // Pick preset 4, collect the colour in the empty slot 2, then edit it there.
    CWindowBase::SetModalHook([](CWindowBase& w) {
        Click(w, "color_option_4");
        Click(w, "collect_color_option_2");
        Type(w, "color_edit_g", "77");
        Click(w, "okbtn");
        return ResultOf(w);
    });
    const auto chosen = ChooseColour(nullptr, Qt::black, 96);
    ASSERT_TRUE(chosen.has_value());
    const ColourOptions defaults = LayoutDefaults();
    QColor expected = QColor::fromRgb(defaults.presets[4]);
    expected.setGreen(77);
    EXPECT_EQ(*chosen, expected);

    ColourOptions stored;
    ASSERT_TRUE(ReadColourStore(stored));
    EXPECT_EQ(stored.presetSelect, 4);
    EXPECT_EQ(stored.collectSelect, 2);
    EXPECT_TRUE(stored.collectedFilled[2]);
    EXPECT_FALSE(stored.collectedFilled[3]);
    EXPECT_EQ(QColor::fromRgb(stored.collected[2]), expected);

    // Reopened: the collected slot is filled and selected, and choosing it gives its colour.
    CWindowBase::SetModalHook([&](CWindowBase& w) {
        auto* slot = w.FindControl<QPushButton>("collect_color_option_2");
        EXPECT_EQ(slot->property("UserData").toString(), "1");
        EXPECT_TRUE(slot->isChecked());
        EXPECT_TRUE(w.FindControl<QPushButton>("color_option_4")->isChecked());
        Click(w, "collect_color_option_2");
        Click(w, "okbtn");
        return ResultOf(w);
    });
    EXPECT_EQ(ChooseColour(nullptr, Qt::white, 96), std::optional<QColor>(expected));
}

// ---- skin

class SkinTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        receiver_ = std::make_unique<QObject>();
        CSkinSubject::Instance().AddReceiver(
            receiver_.get(), [this](const SkinChangedParam& p) { received_.push_back(p); });
    }
    void TearDown() override {
        receiver_.reset();
        DialogsTest::TearDown();
    }
    QString WritePng(const QString& name) {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = Path(name);
        EXPECT_TRUE(image.save(path, "PNG"));
        return path;
    }

    std::unique_ptr<QObject> receiver_;
    std::vector<SkinChangedParam> received_;
};

TEST_F(SkinTest, ImageColourAndResetAreBroadcastAndRemembered) {
    QPointer<CSkinFrame> frame = new CSkinFrame;
    ASSERT_TRUE(frame->Build());
    auto* image1 = frame->FindControl<QPushButton>("skin_image_btn_1");
    ASSERT_NE(image1, nullptr);
    const QString image = image1->property("bkimage").toString();
    image1->click();
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0], (SkinChangedParam{false, 0, image}));
    EXPECT_EQ(ReadSavedSkin(), std::optional(received_[0]));
    QSettings ini(MainIniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("SKINIMAGE/FLAGS").toString(), "1");
    EXPECT_EQ(ini.value("SKINIMAGE/IMAGE").toString(), image);

    auto* colour = frame->FindControl<QPushButton>("skin_color_btn_2");
    ASSERT_NE(colour, nullptr);
    colour->click();
    ASSERT_EQ(received_.size(), 2u);
    EXPECT_TRUE(received_[1].useColor);
    EXPECT_EQ(received_[1].backgroundColor, QColor(colour->property("bkcolor").toString()).rgb());
    EXPECT_EQ(ReadSavedSkin(), std::optional(received_[1]));

    Click(*frame, "skin_reset");
    ASSERT_EQ(received_.size(), 3u);
    EXPECT_EQ(received_[2], (SkinChangedParam{false, 0, kDefaultSkinImage}));
    ini.sync();
    EXPECT_EQ(ini.value("SKINIMAGE/FLAGS").toString(), "0");
    EXPECT_EQ(ReadSavedSkin(), std::optional(received_[2]));
    delete frame.data();
}

TEST_F(SkinTest, OpensUnderTheSkinButton) {
    QWidget host;
    host.setGeometry(100, 100, 400, 300);
    auto* button = new QPushButton(&host);
    button->setGeometry(340, 10, 30, 30);
    host.show();
    QPointer<CSkinFrame> frame = new CSkinFrame(&host);
    frame->OpenAt(button);
    ASSERT_TRUE(frame->isVisible());
    // Its top-right corner sits on the button's bottom-right corner.
    const QPoint corner = button->mapToGlobal(QPoint(button->width(), button->height()));
    EXPECT_EQ(frame->geometry().right() + 1, corner.x());
    EXPECT_EQ(frame->geometry().top(), corner.y());
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
}

TEST_F(SkinTest, CustomImageCancelChangesNothing) {
    const QString own = WritePng("own.png");
    ASSERT_TRUE(SaveSkinChoice({false, 0, own}));
    const QByteArray before = [&] {
        QFile f(MainIniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    int asked = 0;
    CSkinFrame::SetOpenFileHook([&](QWidget*) {
        ++asked;
        return QString();
    });
    QPointer<CSkinFrame> frame = new CSkinFrame;
    ASSERT_TRUE(frame->Build());
    Click(*frame, "skin_Custom");
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(received_.empty());
    QFile after(MainIniPath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    // The frame closed itself and goes away.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());

    // A file that is no picture is refused the same way.
    const QString notImage = Path("notes.png");
    QFile text(notImage);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    CSkinFrame::SetOpenFileHook([&](QWidget*) { return notImage; });
    frame = new CSkinFrame;
    ASSERT_TRUE(frame->Build());
    Click(*frame, "skin_Custom");
    EXPECT_TRUE(received_.empty());

    // A picture is taken and remembered.
    const QString chosen = WritePng("chosen.png");
    CSkinFrame::SetOpenFileHook([&](QWidget*) { return chosen; });
    frame = new CSkinFrame;
    ASSERT_TRUE(frame->Build());
    Click(*frame, "skin_Custom");
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0], (SkinChangedParam{false, 0, chosen}));
    EXPECT_EQ(ReadSavedSkin(), std::optional(received_[0]));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(SkinTest, MainIniValuesAreEscapedAndReadBackSafely) {
    EXPECT_FALSE(ReadSavedSkin().has_value());  // no main.ini yet

    // Characters that the INI syntax itself uses survive the round trip.
    for (const QString& name :
         {QStringLiteral("a;b=c[d].png"), QStringLiteral("line\nbreak, comma.png"),
          QStringLiteral("#hash \"quoted\" \\back.png")}) {
        const QString path = WritePng(name);
        ASSERT_TRUE(SaveSkinChoice({false, 0, path}));
        const auto read = ReadSavedSkin();
        ASSERT_TRUE(read.has_value()) << name.toStdString();
        EXPECT_EQ(read->backgroundImage, path);
        EXPECT_FALSE(read->useColor);
    }
    // The section keeps only its own keys: an injected line did not become a key.
    QSettings ini(MainIniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.childGroups(), QStringList{"SKINIMAGE"});

    // Relative images stay inside the skin folder; missing images are not restored.
    ASSERT_TRUE(SaveSkinChoice({false, 0, "common/../../../etc/passwd"}));
    EXPECT_FALSE(ReadSavedSkin().has_value());
    EXPECT_TRUE(ResolveSkinImage("../x.png").isEmpty());
    ASSERT_TRUE(SaveSkinChoice({false, 0, Path("gone.png")}));
    EXPECT_FALSE(ReadSavedSkin().has_value());

    // A damaged file reads as nothing.
    ASSERT_TRUE(WriteFileAtomically(MainIniPath().toStdString(), "[SKINIMAGE]\nFLAGS=7\n"));
    EXPECT_FALSE(ReadSavedSkin().has_value());
}

TEST_F(SkinTest, ReceiversGoWithTheirOwner) {
    auto other = std::make_unique<QObject>();
    int otherCalls = 0;
    CSkinSubject::Instance().AddReceiver(other.get(),
                                         [&](const SkinChangedParam&) { ++otherCalls; });
    // A receiver that destroys another owner mid-broadcast does not call into it.
    CSkinSubject::Instance().AddReceiver(receiver_.get(),
                                         [&](const SkinChangedParam&) { other.reset(); });
    const int before = CSkinSubject::Instance().ReceiverCount();
    CSkinSubject::Instance().Broadcast({true, 0xFF112233u, {}});
    EXPECT_EQ(otherCalls, 1);  // registered before the destroying receiver
    EXPECT_EQ(CSkinSubject::Instance().ReceiverCount(), before - 1);
    receiver_.reset();
    EXPECT_EQ(CSkinSubject::Instance().ReceiverCount(), before - 3);
    CSkinSubject::Instance().Broadcast({true, 0xFF445566u, {}});
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(received_.size(), 1u);
}

}  // namespace
}  // namespace q417::ui
