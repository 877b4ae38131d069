#include "app/qt/dialog_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace vrk::app {
namespace {

// Owned by the application, so a later application (the tests make one per run) loads its own.
QPointer<QTranslator> s_translator;

}  // namespace

bool useJapaneseInQtDialogs() {
    if (s_translator) {
        return true;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    s_translator = translator;
    return true;
}

}  // namespace vrk::app
