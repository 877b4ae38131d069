// The yardstick for start-up: a bare Qt 6 window showing a label. With VRK_STARTUP_PROBE set it
// prints the wall-clock time (ns) once the label's first frame is out and ends (or stays, with
// VRK_STARTUP_PROBE=stay), through the same probe as vrk3.
#include <QApplication>
#include <QLabel>

#include "first_frame_probe.h"

int main(int argc, char** argv) {
    vrk::bench::reportMark("main");
    QApplication application(argc, argv);
    vrk::bench::reportMark("application-made");
    QLabel label(QString::fromUtf8("一ページ目"));
    label.resize(620, 480);
    if (vrk::bench::probing()) {
        new vrk::bench::FirstFrameProbe(&label, [] { return true; });
    }
    label.show();
    return QApplication::exec();
}
