// The dialogs Qt draws speak the window's Japanese; the manual opens at its top in the reader's
// language and closes on Escape.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::click;
using ui_test::ModalDriver;
using ui_test::TestProject;

bool qtJapaneseInstalled() {
    return QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                         QStringLiteral("/qtbase_ja.qm"));
}

// Latin letters in a caption: Qt's English ("&Cancel", "Look in:") has them, its Japanese none.
bool hasLatinLetters(const QString& caption) {
    QString plain = caption;
    plain.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));  // the mnemonic, "(&C)"
    return plain.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

class DialogLanguageTest : public ::testing::Test {
protected:
    DialogLanguageTest() : m_window(m_project.programDir(), Settings{}) {
        // The manuals beside the program, as an install has them (the build copies them beside
        // this test).
        for (const char* manual : {"vrk3.html", "vrk3-en.html"}) {
            std::filesystem::copy_file(QCoreApplication::applicationDirPath().toStdString() + "/" + manual,
                                       m_project.programDir() / manual,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        m_window.show();
    }

    QAction* action(const char* name) { return child<QAction>(&m_window, name); }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(DialogLanguageTest, TheOpenDialogAndTheFontDialogAreInJapanese) {
    if (!qtJapaneseInstalled()) {
        GTEST_SKIP() << "Qt's Japanese translations (qt6-translations-l10n) are not installed";
    }
    m_driver.expect([](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        // The caption and the file type are the window's own words, the rest Qt's.
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Marivex ファイルを開く"));
        EXPECT_EQ(dialog->nameFilters(), QStringList{QString::fromUtf8("Marivex ファイル (*.vrk *.VRK)")});
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
            const QString caption = child<QLabel>(dialog, name)->text();
            EXPECT_FALSE(hasLatinLetters(caption)) << name << ": " << caption.toStdString();
        }
        auto* buttons = child<QDialogButtonBox>(dialog, "buttonBox");
        const QString cancel = buttons->button(QDialogButtonBox::Cancel)->text();
        EXPECT_FALSE(hasLatinLetters(cancel)) << cancel.toStdString();
        EXPECT_TRUE(cancel.contains(QString::fromUtf8("キャンセル"))) << cancel.toStdString();
        dialog->reject();
    });
    click(m_window.choiceButton(1));
    EXPECT_EQ(m_driver.pending(), 0u);

    m_driver.expect([](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "fontDialog");
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        for (const auto which : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
            const QString caption = buttons->button(which)->text();
            EXPECT_TRUE(which == QDialogButtonBox::Ok || !hasLatinLetters(caption)) << caption.toStdString();
        }
        EXPECT_TRUE(
            buttons->button(QDialogButtonBox::Cancel)->text().contains(QString::fromUtf8("キャンセル")));
        qobject_cast<QDialog*>(dialog)->reject();
    });
    action("fontAction")->trigger();
    EXPECT_EQ(m_driver.pending(), 0u);
}

// Sets the reader's language for as long as it lives, as the desktop's environment says it.
class ReaderLanguage {
public:
    explicit ReaderLanguage(const char* language) {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        ::setenv("LANGUAGE", language, 1);
        ::setenv("LC_ALL", (std::string(language) + ".UTF-8").c_str(), 1);
    }
    ~ReaderLanguage() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (m_saved[i]) {
                ::setenv(kNames[i], m_saved[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
    }
    ReaderLanguage(const ReaderLanguage&) = delete;
    ReaderLanguage& operator=(const ReaderLanguage&) = delete;

private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL"};
    std::vector<std::optional<std::string>> m_saved;
};

QTextBrowser* shownManual() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "helpWindow" && w->isVisible()) {
            return qobject_cast<QTextBrowser*>(w);
        }
    }
    return nullptr;
}

TEST_F(DialogLanguageTest, TheManualOpensAtItsTopInTheReadersLanguageAndClosesOnEscape) {
    struct Case {
        const char* language;
        const char* manual;
        const char* otherLanguageLink;
    };
    const Case cases[] = {
        {"en_US", "vrk3-en.html", "日本語"},
        {"ja_JP", "vrk3.html", "English"},
        {"de_DE", "vrk3.html", "English"},  // no manual in German: the window's own language
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        {
            const ReaderLanguage language(c.language);
            action("helpContentsAction")->trigger();
        }
        QPointer<QTextBrowser> help = shownManual();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->source().fileName(), c.manual);
        // The title and the link to the other language are in sight.
        QApplication::processEvents();
        EXPECT_EQ(help->verticalScrollBar()->value(), 0);
        EXPECT_TRUE(help->toPlainText().startsWith(QString::fromUtf8(c.otherLanguageLink)))
            << help->toPlainText().left(40).toStdString();
        const QRect link = help->cursorRect(help->document()->find(QString::fromUtf8(c.otherLanguageLink)));
        EXPECT_TRUE(help->viewport()->rect().contains(link)) << link.y();
        QTest::keyClick(help, Qt::Key_Escape);
        EXPECT_TRUE(help.isNull() || !help->isVisible());
        EXPECT_EQ(shownManual(), nullptr);
        QApplication::processEvents();
    }
}

}  // namespace
}  // namespace vrk::app
