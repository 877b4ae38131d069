#include "presentation/qt/page_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>

#include "presentation/qt/page_view.h"

namespace vrk::presentation {
namespace {

class PageAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PageAccessible(PageView* view) : QAccessibleWidget(view, QAccessible::Paragraph) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return pageAccessibleName();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    // The text: read only, without a caret or a selection of its own.
    QString text(int startOffset, int endOffset) const override {
        return readable().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(readable().size()); }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    // Where a character is drawn is the layout's business and varies with the reveal; a reader
    // of the text does not need it.
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = std::max(offset, characterCount());
        return {};
    }

private:
    QString readable() const { return static_cast<const PageView*>(widget())->readableText(); }
};

class AnnouncerAccessible : public QAccessibleWidget {
public:
    explicit AnnouncerAccessible(PageAnnouncer* announcer)
        : QAccessibleWidget(announcer, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return static_cast<const PageAnnouncer*>(widget())->announcement();
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* pageAccessibleFactory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<PageView*>(object)) {
        return new PageAccessible(view);
    }
    if (auto* announcer = qobject_cast<PageAnnouncer*>(object)) {
        return new AnnouncerAccessible(announcer);
    }
    return nullptr;
}

}  // namespace

void installPageAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(pageAccessibleFactory);
        return true;
    }();
    (void)installed;
}

QString pageAccessibleName() {
    return QStringLiteral("本文");
}

PageAnnouncer::PageAnnouncer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageAnnouncer"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // Shown and on the page, or a screen reader takes it for nothing to present; one pixel
    // that draws nothing hides nothing of the page.
    setGeometry(0, 0, 1, 1);
}

void PageAnnouncer::announce(const QString& text) {
    m_text = text;
    // A page shown before its window (the first, after the opening's dialogs) is announced by
    // the window's showing, which shows this too: once.
    if (!QAccessible::isActive() || !isVisible()) {
        return;
    }
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

}  // namespace vrk::presentation
