#pragma once
// The font dialog (FDialog): the font of the page text. The page is laid out in half-width cells, so only
// installed faces that show Japanese and measure fixed-pitch are offered, in 8 to 48 points;
// Qt's own font dialog cannot be limited that way (it takes the Japanese faces for
// proportional ones).

#include <QDialog>
#include <QFont>

#include "app/menu_model.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QSpinBox;

namespace vrk::app {

class FontDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMinPoints = kMinFontPoints;
    static constexpr int kMaxPoints = kMaxFontPoints;

    /// Starts at current; a face that is not offered starts at the first one that is.
    explicit FontDialog(const QFont& current, QWidget* parent = nullptr);

    /// The face, size, style and effects chosen.
    QFont selectedFont() const;
    /// Selects what the dialog can show of font (tests, and the start state).
    void setCurrentFont(const QFont& font);

private:
    void updateSample();

    QListWidget* m_faces = nullptr;
    QSpinBox* m_size = nullptr;
    QCheckBox* m_bold = nullptr;
    QCheckBox* m_italic = nullptr;
    QCheckBox* m_underline = nullptr;
    QCheckBox* m_strikeOut = nullptr;
    QLabel* m_sample = nullptr;
};

}  // namespace vrk::app
