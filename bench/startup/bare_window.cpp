// The yardstick for start-up: a bare Qt 6 window showing a label. It prints the wall-clock time
// (ns) once the label has been painted and ends (or stays, with VRK_STARTUP_PROBE=stay), exactly
// as vrk3 does with VRK_STARTUP_PROBE.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <cstdlib>

#include "app/startup_marks.h"

namespace {

class PaintProbe : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            QTimer::singleShot(0, [] {
                vrk::app::reportFirstPage();
                if (qgetenv("VRK_STARTUP_PROBE") == "stay") {
                    return;
                }
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool m_reported = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QLabel label(QString::fromUtf8("一ページ目"));
    label.resize(620, 480);
    PaintProbe probe;
    label.installEventFilter(&probe);
    label.show();
    return QApplication::exec();
}
