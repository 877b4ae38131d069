#include "app/qt/story_dialog.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QValidator>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/help_version.h"
#include "app/qt/help_window.h"
#include "common/sjis.h"
#include "presentation/qt/font_mapping.h"
#include "story/story_state.h"

namespace vrk::app {
namespace {

QString fromSjis(const std::string& sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// Colour value 12648447 is the BGR word 0x00C0FFFF.
const QColor kBackground(0xFF, 0xFF, 0xC0);

// The panel's grey lines. A palette rather than a style sheet: a style sheet brings its own
// style into the dialog, which the picker would have to build before it first shows.
QPalette greyText(QPalette palette) {
    palette.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    return palette;
}

QFont gothicFont() {
    QFont font(presentation::mapFontFamily(QStringLiteral("ＭＳ ゴシック")));
    font.setPixelSize(15);
    font.setBold(true);
    return font;
}

const QColor kLinkColour(0x00, 0x00, 0x80);

// "HP" drawn as the link the panel shows, underlined in navy, opened by a click, or by Return,
// Enter or Space once Tab has brought the focus to it (a dotted frame shows it there). A plain
// label: a rich-text one builds a text document for its two letters before the picker shows.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, QWidget* parent, std::function<void()> open)
        : QLabel(text, parent), m_open(std::move(open)) {
        QFont underlined = font();
        underlined.setUnderline(true);
        setFont(underlined);
        QPalette navy = palette();
        navy.setColor(QPalette::WindowText, kLinkColour);
        setPalette(navy);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
        // Where the rich-text link the panel was laid out with put the letters: a pixel above
        // where a plain label centres them.
        setContentsMargins(0, 0, 0, 2);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            m_open();
        }
    }

    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // Taken here, so the dialog's default button does not act on it as well.
            event->accept();
            m_open();
            return;
        }
        QLabel::keyPressEvent(event);
    }

    // The desktop style may draw a focus frame only after a key moved the focus, or not at
    // all around a label: the link draws its own, in its colour, whenever it has the focus.
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            painter.setPen(QPen(kLinkColour, 1, Qt::DotLine));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

private:
    std::function<void()> m_open;
};

static_assert(StoryDialog::kMaxNameLength == story::kMaxNameBytes);

// Counts a name as the story keeps it: in code page 932 bytes, so that what is typed past
// the last byte kept is refused instead of cut off without a word.
class SjisBytesValidator : public QValidator {
public:
    SjisBytesValidator(std::size_t maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}

    State validate(QString& input, int& /*position*/) const override {
        return utf8ToSjisLossy(input.toStdString()).size() <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    std::size_t m_maxBytes;
};

}  // namespace

StoryDialog::StoryDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("storyDialog"));
    // A dialog frame without the title bar's buttons; closing by the keyboard still rejects.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    setPalette(palette);
    setFont(gothicFont());
    m_purposeName = QStringLiteral("お知らせ");
    buildPanel();
    buildLowerControls();
    setPickerShown(false);
    setNameEntryShown(false);
}

void StoryDialog::buildPanel() {
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("panel"));
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel->setGeometry(8, 4, 261, 53);

    m_productName = new QLabel(QStringLiteral("VRKブラウザ v3.50"), m_panel);
    m_productName->setObjectName(QStringLiteral("ProductName"));
    QFont italic = font();
    italic.setItalic(true);
    m_productName->setFont(italic);
    m_productName->setPalette(greyText(m_productName->palette()));
    m_productName->setGeometry(8, 4, 200, 20);

    m_version = new QLabel(QStringLiteral("Marivex Browser for Linux"), m_panel);
    m_version->setObjectName(QStringLiteral("Version"));
    m_version->setPalette(greyText(m_version->palette()));
    m_version->setGeometry(8, 28, 200, 20);

    // The player has no home page of its own yet: the link leads to the reader's manual.
    m_homePage = new LinkLabel(QStringLiteral("HP"), m_panel, [this] {
        const std::filesystem::path programDir = QCoreApplication::applicationDirPath().toStdString();
        showManual(this, readersManualPath(programDir / ""));
    });
    m_homePage->setObjectName(QStringLiteral("homePageLink"));
    m_homePage->setAccessibleName(QStringLiteral("HP: マニュアルを開く"));
    m_homePage->setGeometry(224, 28, 30, 20);
}

void StoryDialog::buildLowerControls() {
    m_comment = new QLabel(this);
    m_comment->setObjectName(QStringLiteral("Comment"));
    m_comment->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_comment->setWordWrap(true);
    m_comment->setGeometry(2, 64, 270, 20);

    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setGeometry(202, 88, 65, 26);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(kOkResult); });

    m_slotGroup = new QGroupBox(QStringLiteral(" Select File "), this);
    m_slotGroup->setObjectName(QStringLiteral("slotGroup"));
    m_slotGroup->setGeometry(kSlotGroupLeft, kSlotGroupTop, kSlotGroupWidth, kSlotGroupHeight);
    auto* row = new QHBoxLayout(m_slotGroup);
    row->setContentsMargins(6, 0, 6, 0);
    m_slotButtons = new QButtonGroup(m_slotGroup);
    for (int slot = 1; slot <= 4; ++slot) {
        auto* item = new QRadioButton(QString::number(slot), m_slotGroup);
        item->setObjectName(QStringLiteral("slotRadio%1").arg(slot));
        item->setAccessibleName(QStringLiteral("スロット %1").arg(slot));
        m_slotButtons->addButton(item, slot);
        row->addWidget(item);
    }
    m_slotButtons->button(1)->setChecked(true);
    connect(m_slotButtons, &QButtonGroup::idClicked, this, [this](int slot) { emit slotClicked(slot); });

    m_erase = new QPushButton(QStringLiteral("消去"), this);
    m_erase->setObjectName(QStringLiteral("eraseButton"));
    m_erase->setGeometry(202, 136, 65, 26);
    m_erase->setAutoDefault(false);
    connect(m_erase, &QPushButton::clicked, this, [this] { emit eraseClicked(); });
}

void StoryDialog::setCaptionSjis(const std::string& captionSjis) {
    setWindowTitle(fromSjis(captionSjis));
}

void StoryDialog::setCommentSjis(const std::string& commentSjis) {
    m_comment->setText(fromSjis(commentSjis));
    // The comment is what the slot holds, the name asked for or the notice: read with the name.
    setAccessibleDescription(m_comment->text());
}

void StoryDialog::setPurposeName(const QString& name) {
    m_purposeName = name;
    updateAccessibleName();
}

void StoryDialog::updateAccessibleName() {
    if (m_slotGroup->isVisibleTo(this)) {
        setAccessibleName(QStringLiteral("セーブスロットの選択"));
    } else if (m_nameEdit != nullptr && m_nameEdit->isVisibleTo(this)) {
        setAccessibleName(QStringLiteral("名前の入力"));
    } else {
        setAccessibleName(m_purposeName);
    }
}

std::string StoryDialog::commentSjis() const {
    return utf8ToSjisLossy(m_comment->text().toStdString());
}

void StoryDialog::setPickerShown(bool shown) {
    m_slotGroup->setVisible(shown);
    m_erase->setVisible(shown);
    int height = shown ? kPickerHeight : kPlainHeight;
    if (shown) {
        // The group's title and the four items need more than the classic 33 pixels in most
        // fonts; the group grows to what they need and the dialog with it.
        const QSize needed = m_slotGroup->sizeHint();
        const int groupHeight = std::max(kSlotGroupHeight, needed.height());
        m_slotGroup->setGeometry(kSlotGroupLeft, kSlotGroupTop, std::max(kSlotGroupWidth, needed.width()),
                                 groupHeight);
        const int groupBottom = kSlotGroupTop + groupHeight;
        m_erase->move(m_erase->x(), groupBottom - 1 - m_erase->height());
        height = std::max(height, groupBottom + kPickerHeight - (kSlotGroupTop + kSlotGroupHeight));
    }
    setFixedSize(kClientWidth, height);
    m_ok->setFocus();
    updateAccessibleName();
}

void StoryDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // Over the middle of the screen, wherever the reading window stands.
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void StoryDialog::setSelectedSlot(int slot) {
    if (QAbstractButton* item = m_slotButtons->button(slot)) {
        item->setChecked(true);
    }
}

int StoryDialog::selectedSlot() const {
    return m_slotButtons->checkedId();
}

QLineEdit* StoryDialog::nameEdit() {
    if (m_nameEdit == nullptr) {
        m_nameEdit = new QLineEdit(this);
        m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
        m_nameEdit->setGeometry(8, 90, 121, 23);
        // The comment above it asks for the name: the box's label for a screen reader.
        m_comment->setBuddy(m_nameEdit);
        m_nameEdit->setMaxLength(kMaxNameLength);
        m_nameEdit->setValidator(
            new SjisBytesValidator(static_cast<std::size_t>(kMaxNameLength), m_nameEdit));
        // Tab goes from the name to the Ok button, as if it had been there from the start.
        setTabOrder(m_nameEdit, m_ok);
    }
    return m_nameEdit;
}

void StoryDialog::setNameEntryShown(bool shown, const std::string& nameSjis) {
    if (shown) {
        QLineEdit* edit = nameEdit();
        edit->setText(fromSjis(nameSjis));
        edit->show();
        edit->selectAll();
        edit->setFocus();
    } else {
        if (m_nameEdit != nullptr) {
            m_nameEdit->hide();
        }
        m_ok->setFocus();
    }
    updateAccessibleName();
}

std::string StoryDialog::nameSjis() const {
    if (m_nameEdit == nullptr) {
        return {};
    }
    return cutSjis(utf8ToSjisLossy(m_nameEdit->text().toStdString()), kMaxNameLength);
}

}  // namespace vrk::app
