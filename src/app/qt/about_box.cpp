#include "app/qt/about_box.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "common/sjis.h"
#include "presentation/qt/font_mapping.h"
#include "sound/help_version.h"

namespace vrk::app {
namespace {

QString fromSjis(const std::string& sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// Colour value 12648447 is the BGR word 0x00C0FFFF.
const QColor kBackground(0xFF, 0xFF, 0xC0);

QFont gothicFont() {
    QFont font(presentation::mapFontFamily(QStringLiteral("ＭＳ ゴシック")));
    font.setPixelSize(15);
    font.setBold(true);
    return font;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    // A dialog frame without the title bar's buttons; closing by the keyboard still rejects.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    setPalette(palette);
    setFont(gothicFont());
    buildPanel();
    buildLowerControls();
    setPickerShown(false);
    setNameEntryShown(false);
}

void AboutBox::buildPanel() {
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel->setGeometry(8, 4, 261, 53);

    m_productName = new QLabel(QStringLiteral("VRKブラウザ v3.50"), m_panel);
    m_productName->setObjectName(QStringLiteral("ProductName"));
    QFont italic = font();
    italic.setItalic(true);
    m_productName->setFont(italic);
    m_productName->setStyleSheet(QStringLiteral("color: grey"));
    m_productName->setGeometry(8, 4, 200, 20);

    m_version = new QLabel(QStringLiteral("Marivex Browser for Linux"), m_panel);
    m_version->setObjectName(QStringLiteral("Version"));
    m_version->setStyleSheet(QStringLiteral("color: grey"));
    m_version->setGeometry(8, 28, 200, 20);

    // The player has no home page of its own yet: the link leads to the reader's manual.
    m_homePage = new QLabel(QStringLiteral("<a href=\"#\" style=\"color: navy\">HP</a>"), m_panel);
    m_homePage->setObjectName(QStringLiteral("Label1"));
    m_homePage->setCursor(Qt::PointingHandCursor);
    m_homePage->setGeometry(224, 28, 30, 20);
    connect(m_homePage, &QLabel::linkActivated, this, [] {
        const std::filesystem::path programDir = QCoreApplication::applicationDirPath().toStdString();
        sound::openHelpIndex(sound::helpIndexPath(programDir / ""));
    });
}

void AboutBox::buildLowerControls() {
    m_comment = new QLabel(this);
    m_comment->setObjectName(QStringLiteral("Comment"));
    m_comment->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_comment->setWordWrap(true);
    m_comment->setGeometry(2, 64, 270, 20);

    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_ok->setObjectName(QStringLiteral("Okbutton"));
    m_ok->setGeometry(202, 88, 65, 26);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(kOkResult); });

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setGeometry(8, 90, 121, 23);
    m_edit->setMaxLength(kMaxNameLength);

    m_radio = new QGroupBox(QStringLiteral(" Select File "), this);
    m_radio->setObjectName(QStringLiteral("Radio1"));
    m_radio->setGeometry(8, 130, 185, 33);
    auto* row = new QHBoxLayout(m_radio);
    row->setContentsMargins(6, 0, 6, 0);
    m_radioGroup = new QButtonGroup(m_radio);
    for (int slot = 1; slot <= 4; ++slot) {
        auto* item = new QRadioButton(QString::number(slot), m_radio);
        item->setObjectName(QStringLiteral("Radio1_%1").arg(slot));
        m_radioGroup->addButton(item, slot);
        row->addWidget(item);
    }
    m_radioGroup->button(1)->setChecked(true);
    connect(m_radioGroup, &QButtonGroup::idClicked, this, [this](int slot) { emit slotClicked(slot); });

    m_erase = new QPushButton(QStringLiteral("消去"), this);
    m_erase->setObjectName(QStringLiteral("Erasebtn"));
    m_erase->setGeometry(202, 136, 65, 26);
    m_erase->setAutoDefault(false);
    connect(m_erase, &QPushButton::clicked, this, [this] { emit eraseClicked(); });
}

void AboutBox::setCaptionSjis(const std::string& captionSjis) {
    setWindowTitle(fromSjis(captionSjis));
}

void AboutBox::setCommentSjis(const std::string& commentSjis) {
    m_comment->setText(fromSjis(commentSjis));
}

std::string AboutBox::commentSjis() const {
    return utf8ToSjisLossy(m_comment->text().toStdString());
}

void AboutBox::setPickerShown(bool shown) {
    m_radio->setVisible(shown);
    m_erase->setVisible(shown);
    setFixedSize(kClientWidth, shown ? kPickerHeight : kPlainHeight);
    m_ok->setFocus();
}

void AboutBox::setSelectedSlot(int slot) {
    if (QAbstractButton* item = m_radioGroup->button(slot)) {
        item->setChecked(true);
    }
}

int AboutBox::selectedSlot() const {
    return m_radioGroup->checkedId();
}

void AboutBox::setNameEntryShown(bool shown, const std::string& nameSjis) {
    m_edit->setVisible(shown);
    if (shown) {
        m_edit->setText(fromSjis(nameSjis));
        m_edit->selectAll();
        m_edit->setFocus();
    } else {
        m_ok->setFocus();
    }
}

std::string AboutBox::nameSjis() const {
    return cutSjis(utf8ToSjisLossy(m_edit->text().toStdString()), kMaxNameLength);
}

}  // namespace vrk::app
