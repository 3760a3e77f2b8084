#pragma once
// The profile list control of a device page: a combo box with an edit field (choose a profile or
// type a new name), the name of the selected profile, and a fold-out menu of list operations.
// It is a view over the CProfileList of the page's device folder: every operation goes to the
// list (the file is the authority) and the combo box is then refilled from its result. It never
// talks to a device; the main window turns the user's choices into device operations.
#include <QComboBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "profiles/CProfileList.h"

class QLabel;
class QLineEdit;

namespace q417::ui {

class CDeviceProfileUI : public QWidget {
    Q_OBJECT
public:
    // The layout the control builds as its content.
    static constexpr const char* kLayout = "XML\\CustomControlXML\\DeviceProfile.xml";

    explicit CDeviceProfileUI(QWidget* parent = nullptr);

    // The list shown; null detaches. Not owned (the device manager keeps one per folder).
    void SetList(CProfileList* list);
    CProfileList* List() const { return list_; }

    // Device kind (1/9 keyboard, 2/6 mouse, 3 mouse pad, 4, 5, 7 headset); shows and hides the
    // enclosing page's tabs to match.
    void SetKind(int kind);
    int Kind() const { return kind_; }

    // Fills the combo box from the list, selects its "profileselect" and applies the tabs.
    ProfileListResult Initialise();
    // Selects exactly one page tab: 1 light, 2 key, 3 macro, 4 system, 5 cursor, 6 voice,
    // 7 magic, 9 about, 10 virtual 7.1; any other number selects none.
    void SelectTab(int n);
    // Reads the list file again and shows it.
    ProfileListResult Reload();
    // Shows the list's last copy (after someone else changed the selection) without reading.
    void Refresh();
    // Selects an entry and records it in the list file. Never raises "itemselect".
    ProfileListResult Select(int index);

    std::string GetCurrentId() const;
    // The entry selected in the combo box, -1 when none.
    int GetCurSel() const;
    // Entries in the combo box.
    int GetCount() const;
    // The text of the combo box's edit field (what the user typed).
    QString GetEditText() const;
    // The name of the selected entry as stored; empty when none.
    QString CurrentName() const;
    // Puts the stored name of the selected entry back into the edit field (a refused rename).
    void RevertEditText();
    void ShowName(const QString& name);
    void ShowMenu(bool visible);
    bool IsMenuShown() const;

    // Entries of the list file, read afresh when it changed.
    int ProfileCount();
    std::string ProfilePathAt(int index) const;

    ProfileListResult AddProfile();
    ProfileListResult DeleteProfile();
    ProfileListResult CopyProfile();
    ProfileListResult ImportProfile(const QString& path);
    ProfileListResult ExportProfile(const QString& path);
    ProfileListResult ResetProfileFile();
    // 1 renamed, 0 another entry has this name (any letter case), 2 blank, -1 otherwise.
    int RenameProfile(const QString& name);

    QComboBox* Combo() const { return combo_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the control and its list can serve an operation.
    bool Ready() const { return list_ != nullptr && combo_ != nullptr; }
    // Shows the result of a list operation (success or not: the list's copy is current).
    ProfileListResult Show(ProfileListResult result);
    void Fill();
    void ApplyKindToTabs();
    QWidget* DevicePage() const;
    QWidget* PageTab(const char* name) const;

    CProfileList* list_ = nullptr;
    int kind_ = 0;
    QPointer<QComboBox> combo_;
    QPointer<QWidget> nameView_;
    QPointer<QWidget> menu_;
};

}  // namespace q417::ui
