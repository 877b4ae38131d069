#pragma once
// The story dialog (TAboutBox): the small light-yellow dialog that is, by turns, the slot picker,
// the name box, the about box with the version and the story's notices. It only shows what it
// is told and reports clicks; the opening sequence that drives it lives in
// MainWindow (opening.cpp), the decisions in vrk::app::ProjectOpening.

#include <QDialog>
#include <string>

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vrk::app {

class StoryDialog : public QDialog {
    Q_OBJECT

public:
    /// Client height with the picker's radio group and erase button uncovered.
    static constexpr int kPickerHeight = 173;
    /// Client height of every other use.
    static constexpr int kPlainHeight = 124;
    static constexpr int kClientWidth = 277;
    /// The name box takes names of this many Shift-JIS bytes at most, as many as a name keeps.
    static constexpr int kMaxNameLength = 16;
    /// exec() result of the Ok button.
    static constexpr int kOkResult = 1;
    /// The radio group's classic place; it grows downwards when its font needs more room.
    static constexpr int kSlotGroupLeft = 8;
    static constexpr int kSlotGroupTop = 130;
    static constexpr int kSlotGroupWidth = 185;
    static constexpr int kSlotGroupHeight = 33;

    /// The dialog in its plain form: panel, comment and Ok; picker and name entry hidden.
    explicit StoryDialog(QWidget* parent = nullptr);

    /// The window caption, from a slot's title line.
    void setCaptionSjis(const std::string& captionSjis);
    /// The centred, word-wrapped line under the panel.
    void setCommentSjis(const std::string& commentSjis);
    std::string commentSjis() const;

    /// Uncovers (173 high, more when the group's font needs it) or covers (124 high) the radio
    /// group and the erase button.
    void setPickerShown(bool shown);
    /// Checks the radio item of slot 1-4 without emitting slotClicked.
    void setSelectedSlot(int slot);
    /// The slot of the checked radio item, 1-4.
    int selectedSlot() const;

    /// Shows or hides the name box; shown, it holds nameSjis and has the focus.
    void setNameEntryShown(bool shown, const std::string& nameSjis = {});
    /// The name box's text as Shift-JIS, cut to 16 bytes (never in the middle of a character).
    std::string nameSjis() const;

    /// What a screen reader calls the dialog in its plain form (a notice, unless told otherwise);
    /// the picker and the name box have names of their own.
    void setPurposeName(const QString& name);

    /// Shown over the middle of the screen rather than over the reading window.
    void setVisible(bool visible) override;

signals:
    /// The reader picked slot 1-4.
    void slotClicked(int slot);
    /// The reader pressed the erase button.
    void eraseClicked();

private:
    void buildPanel();
    void buildLowerControls();
    /// Made when names are first asked: most openings resume a slot and ask none.
    QLineEdit* nameEdit();
    /// The dialog's accessible name for the use it is put to now.
    void updateAccessibleName();

    QFrame* m_panel = nullptr;
    QLabel* m_productName = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_homePage = nullptr;
    QLabel* m_comment = nullptr;
    QString m_purposeName;
    QPushButton* m_ok = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QGroupBox* m_slotGroup = nullptr;
    QButtonGroup* m_slotButtons = nullptr;
    QPushButton* m_erase = nullptr;
};

}  // namespace vrk::app
