#include "app/qt/font_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

#include "presentation/qt/font_mapping.h"

namespace vrk::app {

FontDialog::FontDialog(const QFont& current, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fontDialog"));
    setWindowTitle(QStringLiteral("フォント"));

    m_faces = new QListWidget(this);
    m_faces->setObjectName(QStringLiteral("FontFaces"));
    m_faces->addItems(presentation::japaneseFixedPitchFamilies());
    m_size = new QSpinBox(this);
    m_size->setObjectName(QStringLiteral("FontSize"));
    m_size->setRange(kMinPoints, kMaxPoints);
    m_size->setSuffix(QStringLiteral(" pt"));
    m_bold = new QCheckBox(QStringLiteral("太字"), this);
    m_bold->setObjectName(QStringLiteral("FontBold"));
    m_italic = new QCheckBox(QStringLiteral("斜体"), this);
    m_italic->setObjectName(QStringLiteral("FontItalic"));
    m_underline = new QCheckBox(QStringLiteral("下線"), this);
    m_underline->setObjectName(QStringLiteral("FontUnderline"));
    m_strikeOut = new QCheckBox(QStringLiteral("取り消し線"), this);
    m_strikeOut->setObjectName(QStringLiteral("FontStrikeOut"));
    m_sample = new QLabel(QStringLiteral("漢字Sample あア"), this);
    m_sample->setObjectName(QStringLiteral("FontSample"));
    m_sample->setMinimumHeight(64);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_faces, 0, 0, 5, 1);
    layout->addWidget(m_size, 0, 1);
    layout->addWidget(m_bold, 1, 1);
    layout->addWidget(m_italic, 2, 1);
    layout->addWidget(m_underline, 3, 1);
    layout->addWidget(m_strikeOut, 4, 1);
    layout->addWidget(m_sample, 5, 0, 1, 2);
    layout->addWidget(buttons, 6, 0, 1, 2);

    setCurrentFont(current);
    connect(m_faces, &QListWidget::currentRowChanged, this, &FontDialog::updateSample);
    connect(m_size, &QSpinBox::valueChanged, this, &FontDialog::updateSample);
    for (QCheckBox* box : {m_bold, m_italic, m_underline, m_strikeOut}) {
        connect(box, &QCheckBox::toggled, this, &FontDialog::updateSample);
    }
    updateSample();
}

void FontDialog::setCurrentFont(const QFont& font) {
    const auto found = m_faces->findItems(font.family(), Qt::MatchFixedString);
    m_faces->setCurrentRow(found.isEmpty() ? 0 : m_faces->row(found.front()));
    m_size->setValue(font.pointSize() > 0 ? font.pointSize() : m_size->value());
    m_bold->setChecked(font.bold());
    m_italic->setChecked(font.italic());
    m_underline->setChecked(font.underline());
    m_strikeOut->setChecked(font.strikeOut());
}

QFont FontDialog::selectedFont() const {
    QFont font(m_faces->currentItem() != nullptr ? m_faces->currentItem()->text() : QString());
    font.setPointSize(m_size->value());
    font.setBold(m_bold->isChecked());
    font.setItalic(m_italic->isChecked());
    font.setUnderline(m_underline->isChecked());
    font.setStrikeOut(m_strikeOut->isChecked());
    return font;
}

void FontDialog::updateSample() {
    m_sample->setFont(selectedFont());
}

}  // namespace vrk::app
