// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordsearch.h"

#include "search/searchindex.h"
#include "search/searchtext.h"
#include "settings/dirs.h"
#include "store/fileprobe.h"
#include "views/listings.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <numeric>

namespace qadora {

namespace {

// Every word of `older` lies inside some word of `newer`: the newer search finds a subset.
bool narrows(const QStringList& newer, const QStringList& older)
{
    if (older.isEmpty())
        return false;
    for (const QString& o : older) {
        if (std::none_of(newer.begin(), newer.end(), [&](const QString& n) { return n.contains(o); }))
            return false;
    }
    return true;
}

} // namespace

struct RecordSearch::Target {
    QLineEdit* box = nullptr;
    QListWidget* list = nullptr;
    QListWidget* companion = nullptr;
    QLabel* count = nullptr;
    std::function<void()> listAll;
    QTimer* timer = nullptr;

    // The listing, as the Part's method left it.
    bool hasListing = false;
    QStringList visible;
    QStringList companionLines;
    QList<qint64> numbers;
    QString listedCount;

    std::vector<int> shown; // rows of the listing the list shows now
    bool filtered = false;
    QString shownCount; // what the count label got from the search
    bool filling = false;    // our own change of the list
    bool autoListed = false; // listAll already ran for this search

    const SearchIndex* slotsOf = nullptr; // the index rowSlots belong to
    std::vector<qsizetype> rowSlots;
    const SearchIndex* hitsOf = nullptr; // the index and words of the last search
    QStringList lastWords;
    std::shared_ptr<const SearchHits> lastHits;
};

struct RecordSearch::Build {
    QString path;
    DatabaseStamp stamp;
    std::shared_ptr<const SearchIndex> previous;
    std::shared_ptr<const SearchIndex> result;
    std::atomic<bool> cancel{false};
    QThread* thread = nullptr;
};

RecordSearch::RecordSearch(std::function<QString()> databasePath, QObject* parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
{
}

RecordSearch::~RecordSearch()
{
    for (const auto& build : m_running) {
        build->cancel = true;
        build->thread->wait();
        delete build->thread;
    }
}

void RecordSearch::attach(QLineEdit* box, QListWidget* list, QListWidget* companion, QLabel* count,
                          std::function<void()> listAll)
{
    auto target = std::make_unique<Target>();
    Target& t = *target;
    t.box = box;
    t.list = list;
    t.companion = companion;
    t.count = count;
    t.listAll = std::move(listAll);
    // No delay of its own: keys that arrive while a search runs are all read before the next
    // one starts, so fast typing costs one search, not one per key.
    t.timer = new QTimer(this);
    t.timer->setSingleShot(true);
    t.timer->setInterval(0);
    connect(t.timer, &QTimer::timeout, this, [this, &t] { apply(t); });
    connect(box, &QLineEdit::textChanged, this, [this, &t] { schedule(t); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), box, box, &QLineEdit::clear, Qt::WidgetShortcut);
    Q_UNUSED(escape);
    // A list filled by anything but a listing has rows the search knows nothing of.
    auto changed = [&t] {
        if (!t.filling)
            t.hasListing = false;
    };
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(list->model(), &QAbstractItemModel::rowsRemoved, this, changed);
    connect(list->model(), &QAbstractItemModel::modelReset, this, changed);
    m_targets.push_back(std::move(target));
}

RecordSearch::Target* RecordSearch::targetOf(const QObject* widget) const
{
    for (const auto& t : m_targets) {
        if (t->list == widget || t->box == widget)
            return t.get();
    }
    return nullptr;
}

QLineEdit* RecordSearch::boxOf(const QListWidget* list) const
{
    const Target* t = targetOf(list);
    return t ? t->box : nullptr;
}

void RecordSearch::schedule(Target& t)
{
    if (t.box->text().isEmpty())
        t.autoListed = false;
    t.timer->start();
}

void RecordSearch::listed(QListWidget* list, const Listing& listing)
{
    Target* t = targetOf(list);
    if (!t)
        return;
    t->hasListing = true;
    t->visible = listing.visible;
    t->companionLines = listing.companion;
    t->numbers = listing.numbers;
    // A listing that stopped before writing its count leaves the count it had.
    if (!t->filtered || t->count->text() != t->shownCount)
        t->listedCount = t->count->text();
    t->shown.resize(size_t(listing.visible.size()));
    std::iota(t->shown.begin(), t->shown.end(), 0);
    t->filtered = false;
    t->slotsOf = nullptr;
    refreshIndex();
    if (!searchWords(t->box->text()).isEmpty())
        apply(*t);
}

void RecordSearch::apply(Target& t)
{
    t.timer->stop();
    const QStringList words = searchWords(t.box->text());
    if (words.isEmpty()) {
        if (t.filtered && t.hasListing) {
            std::vector<int> all(size_t(t.visible.size()));
            std::iota(all.begin(), all.end(), 0);
            show(t, all, false);
        }
        return;
    }
    // Searching an empty tab lists it first, as its button would, once per search.
    if (!t.hasListing && t.list->count() == 0 && !t.autoListed) {
        t.autoListed = true;
        if (t.listAll)
            t.listAll(); // its listing comes back through listed()
        return;
    }
    refreshIndex();
    if (!t.hasListing || !m_index)
        return; // the index follows when it is read (adopt)
    const SearchIndex* index = m_index.get();
    if (t.slotsOf != index) {
        t.rowSlots.resize(size_t(t.numbers.size()));
        for (qsizetype i = 0; i < t.numbers.size(); ++i)
            t.rowSlots[size_t(i)] = index->slotOf(t.numbers[i]);
        t.slotsOf = index;
    }
    const SearchHits* within = t.hitsOf == index && narrows(words, t.lastWords) ? t.lastHits.get() : nullptr;
    auto hits = std::make_shared<const SearchHits>(index->find(words, within));
    t.hitsOf = index;
    t.lastWords = words;
    t.lastHits = hits;
    std::vector<int> rows;
    for (size_t i = 0; i < t.rowSlots.size(); ++i) {
        if (hits->test(t.rowSlots[i]))
            rows.push_back(int(i));
    }
    show(t, rows, true);
}

void RecordSearch::show(Target& t, const std::vector<int>& rows, bool filtered)
{
    const QString count = filtered ? QString::number(rows.size()) : t.listedCount;
    t.shownCount = count;
    if (rows == t.shown && t.filtered == filtered) {
        t.count->setText(count);
        return;
    }
    // The row the user stood on stays current when its record is still shown.
    const int current = t.list->currentRow();
    const int currentRecord = current >= 0 && size_t(current) < t.shown.size() ? t.shown[size_t(current)] : -1;
    QStringList lines;
    QStringList companionLines;
    lines.reserve(qsizetype(rows.size()));
    const bool withCompanion = t.companion && t.companionLines.size() == t.visible.size();
    if (withCompanion)
        companionLines.reserve(qsizetype(rows.size()));
    int newCurrent = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        lines << t.visible[rows[i]];
        if (withCompanion)
            companionLines << t.companionLines[rows[i]];
        if (rows[i] == currentRecord)
            newCurrent = int(i);
    }
    t.filling = true;
    t.list->setUpdatesEnabled(false);
    t.list->clear();
    t.list->addItems(lines);
    if (newCurrent >= 0)
        t.list->setCurrentRow(newCurrent);
    t.list->setUpdatesEnabled(true);
    t.count->setText(count);
    t.filling = false;
    t.shown = rows;
    t.filtered = filtered;
    // The user sees the rows now; the hidden companion follows before any other event.
    t.list->viewport()->repaint();
    t.count->repaint();
    if (withCompanion) {
        t.companion->clear();
        t.companion->addItems(companionLines);
    }
    emit applied(t.list);
}

bool RecordSearch::indexReady() const
{
    const QString path = m_databasePath();
    return m_index && m_indexPath == path && m_indexStamp == DatabaseStamp::of(path);
}

void RecordSearch::refreshIndex()
{
    const QString path = m_databasePath();
    const DatabaseStamp stamp = DatabaseStamp::of(path);
    if (m_build) {
        if (m_build->path == path && m_build->stamp == stamp)
            return;
        // A reading of another file, or of the file before its last change: it starts again.
        m_build->cancel = true;
    }
    if (m_index && m_indexPath == path && m_indexStamp == stamp)
        return;
    if (!isOrdinaryFile(path)) {
        m_index.reset();
        m_indexPath = path;
        m_indexStamp = stamp;
        return;
    }
    startBuild(path, stamp);
}

void RecordSearch::startBuild(const QString& path, const DatabaseStamp& stamp)
{
    auto build = std::make_shared<Build>();
    build->path = path;
    build->stamp = stamp;
    if (m_indexPath == path)
        build->previous = m_index;
    m_build = build;
    // Access files are read through a cache of the window's thread.
    if (probeFile(path) == FileFormat::Access) {
        StoreStatus status;
        build->result = SearchIndex::fromStore(path, build->previous.get(), nullptr, &status);
        adopt(build);
        return;
    }
    build->thread = QThread::create([build] {
        StoreStatus status;
        build->result = SearchIndex::fromStore(build->path, build->previous.get(), &build->cancel, &status);
    });
    connect(build->thread, &QThread::finished, this, [this, build] {
        m_running.erase(std::find(m_running.begin(), m_running.end(), build));
        build->thread->deleteLater();
        build->thread = nullptr;
        adopt(build);
    });
    m_running.push_back(build);
    build->thread->start(QThread::LowPriority);
}

void RecordSearch::adopt(const std::shared_ptr<Build>& build)
{
    if (m_build != build)
        return;
    m_build.reset();
    if (build->cancel) {
        refreshIndex(); // what cancelled it wants a reading of its own
        return;
    }
    // A file that could not be read has no index; the listings say why.
    m_index = build->result;
    m_indexPath = build->path;
    m_indexStamp = build->stamp;
    for (const auto& t : m_targets) {
        if (t->hasListing && !searchWords(t->box->text()).isEmpty())
            apply(*t);
    }
    // The file changed while it was read.
    if (DatabaseStamp::of(build->path) != build->stamp)
        refreshIndex();
}

void RecordSearch::waitForIndex()
{
    while (m_build && m_build->thread) {
        m_build->thread->wait();
        QCoreApplication::sendPostedEvents(this); // finished, which adopts the index
    }
}

} // namespace qadora
