// The mouse page layouts: the controls the program looks up by name exist with the right
// kind and ranges, option groups are exclusive, every text key has a wording in both
// languages, and the page renders with the skin's style sheet.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <memory>

#include "ui/controls/RegisterControls.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"

namespace q417::ui {
namespace {

const QString kSkin = QStringLiteral(Q417_SOURCE_DATA_DIR "skin/");
const QStringList kLayouts = {QStringLiteral("XML\\DeviceXml\\mousedevice.xml"),
                              QStringLiteral("XML\\DeviceXml\\mousedevice1.xml")};

QSet<QString> LanguageKeys(const QString& file) {
    QSet<QString> keys;
    QFile f(kSkin + file);
    if (!f.open(QIODevice::ReadOnly)) {
        return keys;
    }
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Text") {
            const QString id = xml.attributes().value("id").toString();
            if (!xml.readElementText().trimmed().isEmpty()) {
                keys.insert(id);
            }
        }
    }
    return xml.hasError() ? QSet<QString>{} : keys;
}

class MousePageLayoutTest : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override {
        CUiLoader::SetResourceRoot(kSkin);
        // The program's own control classes, so the layout meets their real bases.
        RegisterControls();
        page_.reset(CUiLoader::Build(GetParam(), nullptr));
        ASSERT_NE(page_, nullptr) << GetParam().toStdString();
    }

    template <class T>
    T* Find(const QString& name) {
        auto* w = page_->findChild<QWidget*>(name);
        EXPECT_NE(w, nullptr) << "missing " << name.toStdString();
        T* typed = qobject_cast<T*>(w);
        EXPECT_TRUE(w == nullptr || typed != nullptr)
            << name.toStdString() << " is a " << w->metaObject()->className();
        return typed;
    }

    void ExpectRange(const QString& name, int lo, int hi) {
        if (auto* s = Find<QSlider>(name)) {
            EXPECT_EQ(s->minimum(), lo) << name.toStdString();
            EXPECT_EQ(s->maximum(), hi) << name.toStdString();
            EXPECT_EQ(s->orientation(), Qt::Horizontal) << name.toStdString();
        }
    }

    std::unique_ptr<QWidget> page_;
};

TEST_P(MousePageLayoutTest, RootAndHeader) {
    EXPECT_EQ(page_->objectName(), "mouse_device_page");
    EXPECT_TRUE(page_->property("devicePage").toBool());
    EXPECT_NE(Find<QWidget>("DeviceProfileItem"), nullptr);
    for (const char* tab : {"performance_Op_tab", "deng_Op_tab", "key_Op_tab", "macro_Op_tab",
                            "system_Op_tab", "cursor_Op_tab", "About_Op_tab"}) {
        if (auto* b = Find<QPushButton>(tab)) {
            EXPECT_TRUE(b->isCheckable()) << tab;
            // The program checks and unchecks all of them itself: an exclusive group would
            // refuse to leave none checked.
            EXPECT_FALSE(b->autoExclusive()) << tab;
            EXPECT_EQ(b->property("role").toString(), "tab") << tab;
            EXPECT_EQ(b->isChecked(), QString(tab) == "performance_Op_tab") << tab;
            EXPECT_EQ(b->isVisibleTo(page_.get()), QString(tab) == "performance_Op_tab") << tab;
        }
    }
}

TEST_P(MousePageLayoutTest, CustomControlsAreOurClasses) {
    // A misspelt class would quietly load as its plain Qt base.
    const QList<QPair<QString, const char*>> expected = {
        {"DeviceProfileItem", "q417::ui::CDeviceProfileUI"},
        {"SelectPanel", "q417::ui::CSelectPanelUI"},
        {"key_0", "q417::ui::CDeviceKeyButtonUI"},
        {"light_14", "q417::ui::CDeviceKeyButtonUI"},
        {"logo", "q417::ui::CDeviceKeyButtonUI"},
        {"DPI_edit_5", "q417::ui::CDPIEditUI"},
        {"device_busy_progress", "q417::ui::CCircleProgressUI"}};
    for (const auto& [name, cls] : expected) {
        auto* w = Find<QWidget>(name);
        EXPECT_TRUE(w && w->inherits(cls)) << name.toStdString() << " is not a " << cls;
    }
}

TEST_P(MousePageLayoutTest, PicturePanelHoldsKeysLightsAndLogo) {
    auto* panel = Find<QWidget>("SelectPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->layout(), nullptr);  // children are placed by coordinates
    auto* picture = panel->findChild<QLabel*>("mouse_picture");
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull()) << "the mouse picture did not load";
    const QRect art = picture->geometry();

    auto direct = [panel](const QString& name) {
        return panel->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    };
    for (int n = 0; n < 11; ++n) {
        QWidget* key = direct(QString("key_%1").arg(n));
        ASSERT_NE(key, nullptr) << "key_" << n;
        EXPECT_TRUE(art.contains(key->geometry().center())) << "key_" << n << " off the picture";
        EXPECT_FALSE(key->property("tooltipid").toString().isEmpty()) << "key_" << n;
    }
    EXPECT_EQ(direct("key_11"), nullptr);
    QList<QRect> spots;
    for (int n = 0; n < 15; ++n) {
        QWidget* light = direct(QString("light_%1").arg(n));
        ASSERT_NE(light, nullptr) << "light_" << n;
        EXPECT_TRUE(art.contains(light->geometry())) << "light_" << n << " off the picture";
        const QString image = light->property("lightimage").toString();
        EXPECT_TRUE(QFileInfo::exists(kSkin + image))
            << "light_" << n << ": " << image.toStdString();
        for (const QRect& other : spots) {
            EXPECT_FALSE(other.intersects(light->geometry())) << "light_" << n << " overlaps";
        }
        spots << light->geometry();
    }
    EXPECT_EQ(direct("light_15"), nullptr);
    QWidget* logo = direct("logo");
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(art.contains(logo->geometry()));
}

TEST_P(MousePageLayoutTest, DpiStages) {
    QList<QRadioButton*> selects;
    for (int s = 0; s < 6; ++s) {
        const QString n = QString::number(s);
        auto* row = Find<QWidget>("DPI_layout_" + n);
        auto* enable = Find<QCheckBox>("DPI_enable_check_" + n);
        auto* select = Find<QRadioButton>("DPI_select_check_" + n);
        auto* edit = Find<QLineEdit>("DPI_edit_" + n);
        auto* colour = Find<QPushButton>("DPI_color_option_" + n);
        ASSERT_TRUE(row && enable && select && edit && colour) << "stage " << s;
        ExpectRange("DPI_slider_" + n, 50, 26000);
        auto* slider = Find<QSlider>("DPI_slider_" + n);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->singleStep(), 50);
        EXPECT_EQ(slider->value() % 50, 0);
        EXPECT_TRUE(row->isAncestorOf(slider) && row->isAncestorOf(edit) &&
                    row->isAncestorOf(colour));
        // A switched-off stage disables its row; its enable check must stay usable, or the
        // stage could never be switched on again.
        row->setEnabled(false);
        EXPECT_TRUE(enable->isEnabled()) << "stage " << s;
        EXPECT_FALSE(slider->isEnabled()) << "stage " << s;
        row->setEnabled(true);
        selects << select;
    }
    // One active stage, whatever rows the checks sit in.
    for (int s = 0; s < 6; ++s) {
        selects[s]->setChecked(true);
        for (int o = 0; o < 6; ++o) {
            EXPECT_EQ(selects[o]->isChecked(), o == s) << "after selecting " << s;
        }
    }
}

TEST_P(MousePageLayoutTest, SettingsPagesAndTheirOptions) {
    auto* stack = Find<QStackedWidget>("mouse_device_seting_layout");
    ASSERT_NE(stack, nullptr);
    ASSERT_EQ(stack->count(), 4);
    auto pageOf = [stack](const char* name) {
        for (int i = 0; i < stack->count(); ++i) {
            if (stack->widget(i)->findChild<QWidget*>(name)) {
                return i;
            }
        }
        return -1;
    };
    EXPECT_EQ(pageOf("DPI_slider_0"), 0);
    EXPECT_EQ(pageOf("polling_rate_option_0"), 1);
    EXPECT_EQ(pageOf("Silent_Altitude_option_0"), 2);
    EXPECT_EQ(pageOf("pointer_speed_slider"), 3);

    auto* options = Find<QWidget>("mouse_option_layout");
    ASSERT_NE(options, nullptr);
    for (int n = 0; n < 4; ++n) {
        auto* b = options->findChild<QPushButton*>(QString("mouse_device_seting_option_%1").arg(n));
        ASSERT_NE(b, nullptr) << n;
        EXPECT_TRUE(b->isCheckable() && b->autoExclusive());
    }

    // Each group picks exactly one option and leaves the other groups alone.
    const QList<QPair<QString, int>> groups = {
        {"polling_rate_option_", 6},       {"Silent_Altitude_option_", 2},
        {"Linear_Calibration_option_", 2}, {"motion_sync_option_", 2},
        {"sensor_lif_option_", 2},         {"deep_sleep_option_", 2}};
    QHash<QString, QRadioButton*> radio;
    for (const auto& [prefix, count] : groups) {
        for (int i = 0; i < count; ++i) {
            const QString name = prefix + QString::number(i);
            radio[name] = Find<QRadioButton>(name);
            ASSERT_NE(radio[name], nullptr);
        }
    }
    for (const auto& [prefix, count] : groups) {
        for (const auto& [other, otherCount] : groups) {
            radio[other + "0"]->setChecked(true);
        }
        radio[prefix + QString::number(count - 1)]->setChecked(true);
        for (const auto& [other, otherCount] : groups) {
            const bool same = other == prefix;
            EXPECT_EQ(radio[other + "0"]->isChecked(), !same)
                << prefix.toStdString() << " disturbed " << other.toStdString();
            EXPECT_EQ(radio[other + QString::number(otherCount - 1)]->isChecked(), same);
        }
    }
    // The polling options 4-5 are the program's to hide; the layout keeps them shown.
    EXPECT_FALSE(radio["polling_rate_option_4"]->isHidden());
    EXPECT_FALSE(radio["polling_rate_option_5"]->isHidden());
    ExpectRange("polling_rate_slider", 1, 6);

    // A combo's index is the stored value, and its slider walks the same values.
    const QList<std::tuple<QString, QString, int>> combos = {
        {"Key_Delay_combo_timeSelect", "Key_Delay_slider", 9},
        {"Dormancy_combo_timeSelect", "Dormancy_slider", 8},
        {"Anti_Shake_combo_timeSelect", QString(), 4}};
    for (const auto& [comboName, sliderName, count] : combos) {
        auto* combo = Find<QComboBox>(comboName);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->count(), count) << comboName.toStdString();
        EXPECT_EQ(combo->property("itemids").toString().split(';', Qt::SkipEmptyParts).size(),
                  count)
            << comboName.toStdString();
        if (!sliderName.isEmpty()) {
            ExpectRange(sliderName, 0, count - 1);
        }
    }

    ExpectRange("pointer_speed_slider", 1, 20);
    ExpectRange("scroll_speed_slider", 1, 20);
    ExpectRange("double_click_slider", 1, 10);
    Find<QCheckBox>("pointer_precision_check");
    Find<QCheckBox>("scrolls_page_check");
}

TEST_P(MousePageLayoutTest, BusyCoverStartsHidden) {
    auto* cover = Find<QWidget>("device_busy_layout");
    ASSERT_NE(cover, nullptr);
    EXPECT_TRUE(cover->isHidden());
    EXPECT_TRUE(cover->isAncestorOf(Find<QWidget>("device_busy_progress")));
    EXPECT_NE(Find<QLabel>("device_busy_text"), nullptr);
}

TEST_P(MousePageLayoutTest, EveryTextKeyHasWordingInBothLanguages) {
    const QSet<QString> en = LanguageKeys("lan_en.xml");
    const QSet<QString> cn = LanguageKeys("lan_cn.xml");
    ASSERT_FALSE(en.isEmpty());
    ASSERT_FALSE(cn.isEmpty());
    int keys = 0;
    QList<QWidget*> all = page_->findChildren<QWidget*>();
    all << page_.get();
    for (QWidget* w : all) {
        QStringList used;
        for (const char* prop : {"textid", "tooltipid"}) {
            const QString key = w->property(prop).toString();
            if (!key.isEmpty()) {
                used << key;
            }
        }
        used << w->property("itemids").toString().split(';', Qt::SkipEmptyParts);
        for (const QString& key : used) {
            ++keys;
            EXPECT_TRUE(en.contains(key))
                << w->objectName().toStdString() << ": " << key.toStdString();
            EXPECT_TRUE(cn.contains(key))
                << w->objectName().toStdString() << ": " << key.toStdString();
        }
        // A literal caption would not follow the language switch.
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
            EXPECT_FALSE(b->property("textid").toString().isEmpty())
                << b->objectName().toStdString();
        }
    }
    EXPECT_GT(keys, 60);
}

INSTANTIATE_TEST_SUITE_P(BothRows, MousePageLayoutTest, ::testing::ValuesIn(kLayouts));

// The second row's page may differ in looks only: same controls, same kinds.
TEST(MousePageLayoutPair, SecondRowHasTheSameControls) {
    CUiLoader::SetResourceRoot(kSkin);
    RegisterControls();
    std::unique_ptr<QWidget> first(CUiLoader::Build(kLayouts[0], nullptr));
    std::unique_ptr<QWidget> second(CUiLoader::Build(kLayouts[1], nullptr));
    ASSERT_TRUE(first && second);
    auto names = [](QWidget* root) {
        QSet<QString> out;
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) {
                out.insert(w->objectName() + ':' + w->metaObject()->className());
            }
        }
        return out;
    };
    EXPECT_EQ(names(first.get()), names(second.get()));
}

// Renders the page as the main window shows it (dark root, the skin's style sheet, English
// texts); the pictures go to the temp folder (q417-mouse-page-<n>.png) so a person can judge
// the layout.
TEST(MousePageLayoutRender, RendersEverySettingsPage) {
    CUiLoader::SetResourceRoot(kSkin);
    RegisterControls();
    QDir::setSearchPaths("skin", {kSkin});
    QWidget root;
    root.setObjectName("root");
    QWidget* page = CUiLoader::Build(kLayouts[0], &root);
    ASSERT_NE(page, nullptr);
    auto* box = new QVBoxLayout(&root);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(page);
    QFile qss(kSkin + "style.qss");
    if (qss.open(QIODevice::ReadOnly)) {
        root.setStyleSheet(QString::fromUtf8(qss.readAll()));
    }
    ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage("lan_en.xml"));
    CResourceManager::GetInstance().ReloadText(&root);
    root.resize(1000, 520);
    auto* stack = page->findChild<QStackedWidget*>("mouse_device_seting_layout");
    ASSERT_NE(stack, nullptr);
    for (int i = 0; i < stack->count(); ++i) {
        stack->setCurrentIndex(i);
        const QPixmap shot = root.grab();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), QSize(1000, 520) * shot.devicePixelRatio());
        shot.save(QDir::temp().filePath(QString("q417-mouse-page-%1.png").arg(i)));
    }
}

}  // namespace
}  // namespace q417::ui
