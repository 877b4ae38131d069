#include "app/qt/author_tools.h"

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPalette>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "app/qt/main_window.h"
#include "app/reading_session.h"
#include "common/sjis.h"
#include "common/terminal_text.h"
#include "presentation/qt/page_view.h"

namespace vrk::app {

namespace {

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* valueLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// How long a notice (not a fault) stays over the page.
constexpr int kNoticeMs = 8000;
// How soon a reload that had to wait looks again.
constexpr int kRetryMs = 200;

}  // namespace

// --- The inspector ---------------------------------------------------------------------------

InspectorDock::InspectorDock(MainWindow& window) : QDockWidget(&window), m_window(window) {
    setObjectName(QStringLiteral("inspectorDock"));
    setWindowTitle(QStringLiteral("インスペクタ"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* form = new QFormLayout;
    m_label = valueLabel(body, "inspectorLabel");
    m_flags = valueLabel(body, "inspectorFlags");
    m_letters = valueLabel(body, "inspectorLetters");
    m_names = valueLabel(body, "inspectorNames");
    m_background = valueLabel(body, "inspectorBackground");
    m_sound = valueLabel(body, "inspectorSound");
    form->addRow(QStringLiteral("ラベル"), m_label);
    form->addRow(QStringLiteral("フラグ"), m_flags);
    form->addRow(QStringLiteral("文字変数"), m_letters);
    form->addRow(QStringLiteral("名前"), m_names);
    form->addRow(QStringLiteral("背景"), m_background);
    form->addRow(QStringLiteral("サウンド"), m_sound);

    // An index holds up to 8 002 labels: a model-backed view lists them without a widget each,
    // and the filter narrows them as the author types.
    m_filter = new QLineEdit(body);
    m_filter->setObjectName(QStringLiteral("inspectorFilter"));
    m_filter->setPlaceholderText(QStringLiteral("ラベルを絞り込む"));
    m_filter->setClearButtonEnabled(true);
    m_model = new QStringListModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_list = new QListView(body);
    m_list->setObjectName(QStringLiteral("inspectorLabels"));
    m_list->setModel(m_proxy);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_jump = new QPushButton(QStringLiteral("ジャンプ"), body);
    m_jump->setObjectName(QStringLiteral("inspectorJump"));
    m_status = valueLabel(body, "inspectorStatus");
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy->setFilterFixedString(text);
        if (m_proxy->rowCount() > 0) {
            m_list->setCurrentIndex(m_proxy->index(0, 0));
        }
    });
    // Enter and the arrows in the filter are the list's (eventFilter).
    m_filter->installEventFilter(this);
    connect(m_jump, &QPushButton::clicked, this, [this] { jumpToSelected(); });
    connect(m_list, &QListView::activated, this, [this] { jumpToSelected(); });

    auto* layout = new QVBoxLayout(body);
    layout->addLayout(form);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(m_status, 1);
    row->addWidget(m_jump);
    layout->addLayout(row);
    setWidget(body);
    refresh();
}

void InspectorDock::fillLabels() {
    const story::LabelIndex& labels = m_window.story().labels;
    // The same records as listed: nothing to do (most page runs).
    if (m_labelsKnown && m_listedIndex == labels.records().data() && m_listedCount == labels.count()) {
        return;
    }
    QStringList names;
    for (const std::string& name : pageLabels(labels)) {
        names.push_back(utf8(name));
    }
    m_model->setStringList(names);
    m_labelsKnown = true;
    m_listedIndex = labels.records().data();
    m_listedCount = labels.count();
}

void InspectorDock::refresh() {
    fillLabels();
    const StorySnapshot s = snapshotOf(m_window.session());
    m_label->setText(s.label.empty() ? QStringLiteral("-")
                                     : utf8(s.label) + (s.storyOpen ? QString() : QStringLiteral(" (終了)")));
    m_flags->setText(s.flagsSet.empty() ? QStringLiteral("-") : utf8(flagRanges(s.flagsSet)));
    m_letters->setText(utf8(s.letters));
    QStringList names;
    for (const auto& [i, name] : s.names) {
        names.push_back(QLatin1Char('%') + QString::number(i) + QLatin1Char('=') + utf8(name));
    }
    m_names->setText(names.isEmpty() ? QStringLiteral("-") : names.join(QLatin1Char(' ')));
    m_background->setText(QStringLiteral("%1 (色 %2, 文字 %3)")
                              .arg(s.background.empty() ? QStringLiteral("-") : utf8(s.background))
                              .arg(s.bgColour)
                              .arg(s.textColour));
    m_sound->setText(s.sound.empty()
                         ? QStringLiteral("-")
                         : utf8(s.sound) +
                               (s.soundIsMusic ? QStringLiteral(" (BGM") : QStringLiteral(" (WAV")) +
                               (s.soundPlaying ? QStringLiteral(", 再生中)") : QStringLiteral(")")));
}

bool InspectorDock::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_filter || event->type() != QEvent::KeyPress) {
        return QDockWidget::eventFilter(watched, event);
    }
    // A line edit passes Enter and the arrows on to its parents, up to the window, where they
    // would choose on the page or scroll it: here Enter jumps, and the arrows move in the list.
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            jumpToSelected();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(m_list, event);
            return true;
        default:
            return QDockWidget::eventFilter(watched, event);
    }
}

QStringList InspectorDock::shownLabels() const {
    QStringList shown;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        shown.push_back(m_proxy->index(row, 0).data().toString());
    }
    return shown;
}

bool InspectorDock::jumpToSelected() {
    QModelIndex current = m_list->currentIndex();
    if (!current.isValid() && m_proxy->rowCount() > 0) {
        current = m_proxy->index(0, 0);
    }
    if (!current.isValid()) {
        return false;
    }
    const QString label = current.data().toString();
    const bool jumped = m_window.session().jumpToLabel(utf8ToSjisLossy(label.toStdString()));
    m_status->setText(jumped ? QString() : QStringLiteral("%1 へは今はジャンプできません").arg(label));
    m_window.pageView().sync();
    refresh();
    return jumped;
}

// --- The watched source ----------------------------------------------------------------------

SourceWatcher::SourceWatcher(MainWindow& window, std::filesystem::path source)
    : QObject(&window), m_window(window), m_source(std::make_unique<WatchedSource>(std::move(source))) {
    m_watcher = new QFileSystemWatcher(this);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryMs);
    m_barTimer = new QTimer(this);
    m_barTimer->setSingleShot(true);
    connect(m_settle, &QTimer::timeout, this, &SourceWatcher::compileAndReload);
    connect(m_retry, &QTimer::timeout, this, &SourceWatcher::reload);
    connect(m_barTimer, &QTimer::timeout, this, &SourceWatcher::hideBar);
    // Editors save by writing a new file and renaming it over the old one, which ends the watch
    // of the old file: the folder is watched too, and the file is added again whenever it is back.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_settle->start(); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_settle->start(); });

    m_bar = new QLabel(&m_window.pageView());
    m_bar->setObjectName(QStringLiteral("watchBar"));
    m_bar->setWordWrap(true);
    m_bar->setTextFormat(Qt::PlainText);
    m_bar->setAutoFillBackground(true);
    m_bar->setMargin(6);
    m_bar->hide();
    m_window.pageView().installEventFilter(this);
}

SourceWatcher::~SourceWatcher() = default;

bool SourceWatcher::start(std::string* error) {
    if (!m_source->prepare(error)) {
        return false;
    }
    watchPaths();
    compileAndReload();
    return true;
}

void SourceWatcher::watchPaths() {
    const QString file = QString::fromStdString(m_source->source().string());
    const QString folder = QString::fromStdString(m_source->source().parent_path().string());
    if (!m_watcher->directories().contains(folder)) {
        m_watcher->addPath(folder);
    }
    if (!m_watcher->files().contains(file) && QFileInfo::exists(file)) {
        m_watcher->addPath(file);
    }
}

void SourceWatcher::compileAndReload() {
    watchPaths();
    const WatchedSource::Outcome outcome = m_source->compile();
    if (outcome.kind == WatchedSource::Outcome::Unchanged) {
        return;
    }
    if (outcome.kind == WatchedSource::Outcome::Faulty) {
        const QString where =
            outcome.fault.line > 0 ? QStringLiteral("%1 行目: ").arg(outcome.fault.line) : QString();
        showBar(QStringLiteral("%1: %2%3\n(前に読めた版で続けています)")
                    .arg(QString::fromStdString(m_source->source().filename().string()), where,
                         QString::fromStdString(outcome.fault.message)),
                true);
        if (std::getenv("VRK3_PRINT_PAGES") != nullptr) {
            std::cout << "@watch-fault " << outcome.fault.line << " " << terminalText(outcome.fault.message)
                      << std::endl;
        }
        emit compiled(false);
        return;
    }
    hideBar();
    if (!m_opened) {
        openStory();
        return;
    }
    m_retry->stop();
    reload();
}

void SourceWatcher::reload() {
    // The reader may have opened another story meanwhile: that one is not reloaded.
    if (m_window.story().locations.compiledDir != m_source->compiledDir()) {
        return;
    }
    const ReadingSession::Reload outcome = m_window.session().reloadStory();
    if (outcome == ReadingSession::Reload::NotNow) {
        // A run, its pause or an opening is under way; the compiled story waits for its end.
        m_retry->start();
        return;
    }
    m_window.labelsReloaded();
    m_window.pageView().sync();
    if (outcome == ReadingSession::Reload::LabelGone) {
        showBar(QStringLiteral("前のページのラベルはもうありません。最初のページから開きました。"), false);
    }
    emit compiled(outcome != ReadingSession::Reload::Failed);
}

void SourceWatcher::openStory() {
    m_window.setProject(m_source->projectDir(), m_source->baseName(), m_source->compiledDir(),
                        m_source->source());
    m_opened = m_window.openProject(false);
    emit compiled(m_opened);
}

void SourceWatcher::showBar(const QString& text, bool fault) {
    m_bar->setText(text);
    QPalette palette = m_bar->palette();
    palette.setColor(QPalette::Window, fault ? QColor(0x8b, 0x1a, 0x1a) : QColor(0x30, 0x30, 0x60));
    palette.setColor(QPalette::WindowText, Qt::white);
    m_bar->setPalette(palette);
    m_bar->setAccessibleName(text);
    placeBar();
    m_bar->show();
    m_bar->raise();
    // A fault stays until the source compiles; a notice goes by itself.
    if (fault) {
        m_barTimer->stop();
    } else {
        m_barTimer->start(kNoticeMs);
    }
}

void SourceWatcher::hideBar() {
    m_barTimer->stop();
    m_bar->hide();
}

void SourceWatcher::placeBar() {
    const QWidget& page = m_window.pageView();
    const int width = std::max(1, page.width() - presentation::PageView::kScrollBarWidth);
    m_bar->setGeometry(0, 0, width, m_bar->heightForWidth(width));
}

bool SourceWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && m_bar->isVisible()) {
        placeBar();
    }
    return QObject::eventFilter(watched, event);
}

void printPageForTests(MainWindow& window) {
    if (std::getenv("VRK3_PRINT_PAGES") == nullptr) {
        return;
    }
    const interpreter::EngineState& story = window.session().story();
    std::cout << "@page " << terminalText(sjisToUtf8(story.state.currentLabel)) << "\n";
    for (const std::string& line : story.page.pageText) {
        std::cout << "| " << terminalText(sjisToUtf8(line)) << "\n";
    }
    std::cout.flush();
}

}  // namespace vrk::app
