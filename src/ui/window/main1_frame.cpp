// SPDX-License-Identifier: GPL-3.0-or-later
// main1: what the window knows of itself: its title and record count, its size and place,
// the recent databases, databases dropped on it or named on the command line, and one
// window per database.
#include "ui/main1.h"

#include "settings/appsettings.h"
#include "settings/dirs.h"
#include "store/fileprobe.h"
#include "store/recordstore.h"
#include "ui/interaction.h"
#include "ui/recordsearch.h"
#include "ui/singleinstance.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace qadora {

namespace {

constexpr int kRecentCount = 8;
constexpr int kFollowMs = 500;
const QSize kFirstSize(1000, 700);

QSettings settings()
{
    return openSettings();
}

QStringList recentDatabases()
{
    return settings().value(QStringLiteral("recent/databases")).toStringList();
}

void setRecentDatabases(QStringList paths)
{
    while (paths.size() > kRecentCount)
        paths.removeLast();
    settings().setValue(QStringLiteral("recent/databases"), paths);
}

// The database a drag brings: one local file that is an SQLite or Access file.
QString droppedDatabase(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().first().isLocalFile())
        return QString();
    const QString path = mime->urls().first().toLocalFile();
    const FileFormat format = probeFile(path);
    return format == FileFormat::Sqlite || format == FileFormat::Access ? path : QString();
}

// Takes database files dropped anywhere on the window, text boxes included, which would
// otherwise take the file's name as text.
class DatabaseDrops : public QObject {
public:
    DatabaseDrops(main1* window)
        : QObject(window)
        , m_window(window)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != m_window)
            return false;
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = droppedDatabase(drop->mimeData());
        if (path.isEmpty())
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop)
            QTimer::singleShot(0, m_window, [window = m_window, path] { window->openDatabase(path); });
        return true;
    }

private:
    main1* m_window;
};

} // namespace

void main1::buildFrame()
{
    recent = new QMenu(QStringLiteral("最近使ったデータベース"), this);
    recent->setObjectName(QStringLiteral("recent"));
    recent->menuAction()->setObjectName(QStringLiteral("recent"));
    ffile->insertMenu(dbdel, recent);
    connect(recent, &QMenu::aboutToShow, this, &main1::fillRecent);

    recordCount = new QLabel(this);
    recordCount->setObjectName(QStringLiteral("recordCount"));
    recordCount->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(recordCount);

    // A tab taller or wider than the screen scrolls, so every control can be reached.
    for (int i = 0; i < SSTab1->count(); ++i) {
        QWidget* page = SSTab1->widget(i);
        const QString caption = SSTab1->tabText(i);
        SSTab1->removeTab(i);
        auto* area = new QScrollArea;
        area->setObjectName(QStringLiteral("scroll%1").arg(i));
        area->setFrameShape(QFrame::NoFrame);
        area->setFocusPolicy(Qt::NoFocus);
        area->setWidgetResizable(true);
        area->setWidget(page);
        SSTab1->insertTab(i, area, caption);
    }
    SSTab1->setCurrentIndex(0);
    // Focus moved by a key or a handler brings its control into sight.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w && w != this; w = w->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(w); area && SSTab1->indexOf(area) >= 0) {
                area->ensureWidgetVisible(now);
                return;
            }
        }
    });

    setAcceptDrops(true);
    new DatabaseDrops(this);

    m_instance = new SingleInstance(this);
    connect(m_instance, &SingleInstance::activationRequested, this, [this] {
        if (isMinimized())
            showNormal();
        show();
        raise();
        activateWindow();
    });
    m_follow = new QTimer(this);
    m_follow->setInterval(kFollowMs);
    connect(m_follow, &QTimer::timeout, this, &main1::followDatabase);
    m_follow->start();
}

void main1::connectFrame()
{
    // After the handlers that may change the database or its records: the title and the
    // count follow at once, not at the next look at the file.
    for (QAction* a : {dbmake, dbdel})
        connect(a, &QAction::triggered, this, &main1::followDatabase);
    for (QPushButton* b : {Command3, Command7, Command10, Command24})
        connect(b, &QPushButton::clicked, this, &main1::followDatabase);
    connect(List11, &QListWidget::itemDoubleClicked, this, &main1::followDatabase);
}

void main1::fitToScreen()
{
    const QByteArray saved = settings().value(QStringLiteral("window/geometry")).toByteArray();
    if (saved.isEmpty() || !restoreGeometry(saved))
        resize(kFirstSize);
    if (isMaximized() || isFullScreen())
        return;
    // The screen the window is on (a restored place may be on another than the first one),
    // with room for the frame the window manager adds.
    const QScreen* on = QGuiApplication::screenAt(geometry().center());
    const QRect area = (on ? on : screen())->availableGeometry();
    const QSize frame(16, 48);
    const QSize fitted = size().boundedTo(area.size() - frame).expandedTo(minimumSizeHint().boundedTo(area.size()));
    resize(fitted);
    QRect placed(pos(), fitted);
    if (!area.contains(placed)) {
        placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - fitted.width() - frame.width())));
        placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - fitted.height() - frame.height())));
        move(placed.topLeft());
    }
}

void main1::saveGeometrySetting()
{
    settings().setValue(QStringLiteral("window/geometry"), saveGeometry());
}

void main1::followDatabase()
{
    followHistory();
    const DatabaseStamp stamp = DatabaseStamp::of(m_dbPath);
    if (m_dbPath == m_followedPath && m_followedStamp && *m_followedStamp == stamp)
        return;
    const bool newPath = m_dbPath != m_followedPath;
    m_followedPath = m_dbPath;
    m_followedStamp = stamp;
    const bool present = isOrdinaryFile(m_dbPath);
    setWindowTitle(present ? QFileInfo(m_dbPath).fileName() + QStringLiteral(" - Qadora") : QStringLiteral("Qadora"));
    QString message;
    const int n = present ? countRecords(m_dbPath, &message) : 0;
    // A file that cannot be read shows no count; its listings say why.
    recordCount->setText(present && (n > 0 || message.isEmpty()) ? QStringLiteral("データ件数：%L1件").arg(n) : QString());
    // What damage kept from being read is said once, when the file is read: here, first.
    if (n > 0 && !message.isEmpty())
        notice(message);
    if (newPath) {
        m_instance->serve(present ? m_dbPath : QString());
        if (present) {
            QStringList paths = recentDatabases();
            paths.removeAll(m_dbPath);
            paths.prepend(m_dbPath);
            setRecentDatabases(paths);
        }
    }
    m_search->refreshIndex();
}

bool main1::openDatabase(const QString& path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    if (!isOrdinaryFile(file)) {
        notice(QStringLiteral("データベースファイルが見つかりません") + QLatin1Char('\r') + file);
        QStringList paths = recentDatabases();
        paths.removeAll(file);
        setRecentDatabases(paths);
        return false;
    }
    if (file == m_dbPath) {
        followDatabase();
        return true;
    }
    if (SingleInstance::activateOther(file))
        return false; // that window comes forward
    QString message;
    if (countRecords(file, &message) <= 0 && !message.isEmpty()) {
        notice(message);
        return false;
    }
    m_dbPath = file;
    dirs::rwpgmname(2, m_dbPath);
    Label1->setText(m_dbPath);
    followDatabase();
    return true;
}

void main1::fillRecent()
{
    recent->clear();
    const QStringList paths = recentDatabases();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        QAction* a = recent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QString(path).replace(QLatin1Char('&'), QStringLiteral("&&"))));
        a->setObjectName(QStringLiteral("recent%1").arg(i + 1));
        connect(a, &QAction::triggered, this, [this, path] { openDatabase(path); });
    }
    if (paths.isEmpty())
        recent->addAction(QStringLiteral("（なし）"))->setEnabled(false);
}

} // namespace qadora
