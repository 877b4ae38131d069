#include "ui_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>
#include <sstream>

#include "app/qt/main_window.h"
#include "common/sjis.h"
#include "story/save_file.h"
#include "story/script.h"
#include "story/story_state.h"

namespace vrk::ui_test {
namespace fs = std::filesystem;

std::string sjis(const char* utf8) {
    return utf8ToSjis(utf8).value();
}

namespace {

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Label {
    std::string name;
    std::int32_t offset;
};

// Lines of the script, with the labels that start at them.
void buildScript(std::vector<char>& script, std::vector<Label>& labels,
                 const std::vector<TestProject::ExtraLabel>& extra) {
    auto label = [&](const char* name) {
        labels.push_back({name, static_cast<std::int32_t>(script.size())});
    };
    auto line = [&](const std::string& text) { story::appendScriptLine(script, text); };
    label("START");
    for (const char* text :
         {"Page one", "?", "Go left", "LEFT", "?", "Go right", "RIGHT", "?", "Go end", "END", "?END"}) {
        line(text);
    }
    label("LEFT");
    for (const char* text : {"Left page", ">WAV=fx.wav", "?END", "START"}) {
        line(text);
    }
    label("RIGHT");
    for (const char* text :
         {"Right page", ">BMP=pic.bmp", ">BAK=back.bmp", ">EXE=tool.sh", "?", "Back", "START", "?END"}) {
        line(text);
    }
    label("END");
    line("The end");
    line("/");
    for (const TestProject::ExtraLabel& page : extra) {
        label(page.name.c_str());
        for (const std::string& text : page.lines) {
            line(text);
        }
    }
    label("VRKALTER");
    line(sjis("主人公"));
    line(sjis("太郎"));
    for (int i = 2; i <= 9; ++i) {
        line("????");
        line("????");
    }
    line(sjis("夏の物語"));
    label("VRKSTART");
    line("unused");
}

}  // namespace

TestProject::TestProject(const std::vector<ExtraLabel>& extra, const std::string& startLabel) {
    m_root = fs::temp_directory_path() / ("vrk_ui_" + std::to_string(::getpid()) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_root);
    m_projectDir = m_root / "project" / "";
    m_programDir = m_root / "program" / "";
    fs::create_directories(m_projectDir);
    fs::create_directories(m_programDir);

    std::vector<char> script;
    std::vector<Label> labels;
    buildScript(script, labels, extra);
    std::vector<char> index;
    for (const Label& l : labels) {
        story::appendLabelRecord(index, l.name, l.offset);
    }
    writeBytes(file(".VRK"), std::string(script.begin(), script.end()));
    writeBytes(file(".VRJ"), std::string(index.begin(), index.end()));
    writeBytes(m_projectDir / "fx.wav", "RIFF");
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.save(QString::fromStdString((m_projectDir / "pic.bmp").string()), "BMP");
    picture.scaled(40, 30).save(QString::fromStdString((m_projectDir / "back.bmp").string()), "BMP");
    writeBytes(m_projectDir / "tool.sh", "#!/bin/sh\necho x >> \"$(dirname \"$0\")/ran.txt\"\n");
    fs::permissions(m_projectDir / "tool.sh", fs::perms::owner_all);

    story::StoryState defaults;
    defaults.title = sjis("夏の物語");
    defaults.namePrompts[1] = sjis("主人公");
    defaults.names[1] = sjis("太郎");
    for (int i = 2; i <= 9; ++i) {
        defaults.namePrompts[static_cast<std::size_t>(i)] = "????";
        defaults.names[static_cast<std::size_t>(i)] = "????";
    }
    const std::string fresh = story::initialSlotContent(defaults);
    story::StoryState started = defaults;
    started.currentLabel = startLabel;
    writeBytes(file(".V01"), story::formatStateMarked(started, false));
    for (const char* extension : {".V02", ".V03", ".V04"}) {
        writeBytes(file(extension), fresh);
    }
}

TestProject::~TestProject() {
    fs::remove_all(m_root);
}

fs::path TestProject::file(const std::string& extension) const {
    return m_projectDir / ("tale" + extension);
}

std::string TestProject::read(const std::string& extension) const {
    std::ifstream in(file(extension), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string TestProject::line(const std::string& extension, int n) const {
    std::istringstream in(read(extension));
    std::string text;
    for (int i = 0; i < n && std::getline(in, text); ++i) {
    }
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}

ModalDriver::ModalDriver() : m_alive(std::make_shared<bool>(true)) {
    poll();
}

ModalDriver::~ModalDriver() {
    *m_alive = false;
}

void ModalDriver::expect(Handler handler) {
    m_queue.push_back(std::move(handler));
}

void ModalDriver::poll() {
    // A fresh timer each time: one still on the stack (a handler inside a nested dialog)
    // does not block the next.
    std::weak_ptr<bool> alive = m_alive;
    QTimer::singleShot(5, qApp, [this, alive] {
        if (!alive.lock() || !*alive.lock()) {
            return;
        }
        poll();
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() ||
            std::find(m_handling.begin(), m_handling.end(), modal) != m_handling.end()) {
            return;
        }
        m_handling.push_back(modal);
        if (m_queue.empty()) {
            ADD_FAILURE() << "unexpected dialog " << modal->objectName().toStdString() << ": "
                          << modal->windowTitle().toStdString();
            if (auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("okButton"))) {
                ok->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->accept();
            }
        } else {
            Handler handler = std::move(m_queue.front());
            m_queue.pop_front();
            handler(modal);
        }
        m_handling.erase(std::find(m_handling.begin(), m_handling.end(), modal));
    });
}

void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    if (auto* window = qobject_cast<app::MainWindow*>(widget->window())) {
        waitForPause(*window);
    }
}

void waitForPause(app::MainWindow& window) {
    waitFor([&] { return !window.session().heldBack(); }, 5000);
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return done();
}

QAction* WindowDriving::action(const char* name) {
    return child<QAction>(&m_driven, name);
}

std::string WindowDriving::firstLine() {
    return m_driven.story().page.pageText.at(0);
}

QWidget* WindowDriving::focus() {
    return m_driven.focusWidget() ? m_driven.focusWidget() : &m_driven;
}

void WindowDriving::key(const char* keys) {
    for (const char* c = keys; *c != '\0'; ++c) {
        QTest::keyClicks(focus(), QString(QLatin1Char(*c)));
        waitForPause(m_driven);
    }
}

void WindowDriving::press(Qt::Key k, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(focus(), k, modifiers);
    waitForPause(m_driven);
}

void WindowDriving::wheel(QWidget* target, int delta) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void WindowDriving::openFirstSlot(const TestProject& project, ModalDriver& driver) {
    m_driven.setProject(project.projectDir(), "tale");
    driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    ASSERT_TRUE(m_driven.openProject());
}

}  // namespace vrk::ui_test
