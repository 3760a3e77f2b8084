#pragma once
// One device's entry in the device selector: its icon (a checkable button in the selector's
// exclusive group), the tick that adds the device to synchronised lighting and its name. The
// content comes from the skin's "DeviceOption" layout; the main window maps entries to
// devices by their entry index and drives them through the operations below.
#include <QButtonGroup>
#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QLabel;

namespace q417::ui {

class CDeviceOptionUI : public QWidget {
    Q_OBJECT
public:
    // The icon files of one device family (relative to the skin root).
    struct IconPaths {
        QString normal;
        QString selected;
        QString synchroNormal;
        QString synchroSelected;
    };

    explicit CDeviceOptionUI(QWidget* parent = nullptr);

    // Builds an entry from the skin's layout; null when the layout is missing or its root is
    // not an entry.
    static CDeviceOptionUI* Build(QWidget* parent);

    // Stores kind and sub and dresses the icon button for that device family. A mouse pad of
    // an unknown sub keeps the icons it had.
    void SetDeviceType(int kind, int sub);
    int GetKind() const { return kind_; }
    int GetSub() const { return sub_; }
    const IconPaths& Icons() const { return icons_; }
    QString TooltipKey() const { return tooltipKey_; }

    void ShowSynchroOption(bool visible);
    // Ticks the synchronised-lighting box (the window is notified) and shows the icon pair of
    // that state.
    void SetSynchro(bool on);
    bool IsSynchro() const;

    // Selects the icon button (the window is notified; the group deselects the others).
    void SelectEntry(bool on);
    bool IsEntrySelected() const;

    // Selecting the entry shows page `index` of the named stacked or tab widget of the window.
    void BindPage(const QString& tabLayoutName, int index);
    int GetPageIndex() const;
    QString GetPageLayout() const { return pageLayout_; }

    // Where this entry's power indicator lives; an empty name changes nothing and a negative
    // index keeps the stored one.
    void SetPowerTab(const QString& tabLayoutName, int index);
    int GetPowerIndex() const { return powerIndex_; }
    QString GetPowerTab() const { return powerTab_; }

    // Puts the icon button into the selector's exclusive group (null: out of any group).
    void SetGroup(QButtonGroup* group);
    void SetNameText(const QString& text);

    // The entry's wanted visibility, kept apart from whether the window is on screen.
    void SetShown(bool shown);
    bool IsShown() const { return shown_; }

    // The main window's index of the device this entry stands for (-1: none).
    void SetEntryIndex(int index) { entryIndex_ = index; }
    int EntryIndex() const { return entryIndex_; }

    // Child names of the layout.
    static constexpr const char* kSelectName = "device_select";
    static constexpr const char* kSynchroName = "synchro_device_select";
    static constexpr const char* kNameLabelName = "device_select_name";

private:
    QAbstractButton* SelectButton() const;
    QAbstractButton* SynchroBox() const;
    QLabel* NameLabel() const;
    void ApplyIconPair(bool synchro);
    void ShowBoundPage();

    int kind_ = 0;
    int sub_ = 0;
    IconPaths icons_;
    QString tooltipKey_;
    QString pageLayout_;
    int pageIndex_ = -1;
    bool pageConnected_ = false;
    QString powerTab_;
    int powerIndex_ = -1;
    bool shown_ = true;
    int entryIndex_ = -1;

    // Looked up on first use; a missing child makes its operations do nothing.
    mutable QPointer<QAbstractButton> select_;
    mutable QPointer<QAbstractButton> synchro_;
    mutable QPointer<QLabel> name_;
};

}  // namespace q417::ui
