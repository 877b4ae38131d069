#pragma once
// The page as a screen reader meets it. The page view paints its text as pixels, so it gets an
// accessible face of its own: a paragraph whose text is the session's readable text (what is
// uncovered so far, the whole page once complete). A new page is announced once through a small
// notification beside it: AT-SPI on Qt 6.4 carries no announcement event, but a notification
// that is shown with a new name is what screen readers present of their own accord.

#include <QString>
#include <QWidget>

namespace vrk::presentation {

/// Gives the page view and the announcer their accessible faces (installed once, any number of
/// calls).
void installPageAccessibility();

/// The accessible name of the page's text.
QString pageAccessibleName();

/// The notification a new page is announced by: a transparent child of the page that draws
/// nothing and takes no input.
class PageAnnouncer : public QWidget {
    Q_OBJECT

public:
    explicit PageAnnouncer(QWidget* parent);

    /// Tells a screen reader text, once: the notification is named by it and shown again.
    void announce(const QString& text);
    /// What was announced last.
    const QString& announcement() const { return m_text; }

private:
    QString m_text;
};

}  // namespace vrk::presentation
