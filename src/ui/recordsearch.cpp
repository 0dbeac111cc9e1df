// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordsearch.h"

#include "search/searchindex.h"
#include "search/searchtext.h"
#include "settings/dirs.h"
#include "store/fileprobe.h"
#include "views/listings.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
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

// A list this long is rebuilt in slices, and the box shows what was typed before.
constexpr qsizetype kLongList = 20000;
constexpr qint64 kSliceNs = 25'000'000;
constexpr qsizetype kChunk = 8000;

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

    // The listing as its method left it, and the database it was made from.
    bool hasListing = false;
    QString listingPath;
    QStringList visible;
    QStringList companionLines;
    QList<qint64> numbers;
    QString listedCount;

    // The rows of the listing the list is to show. The list holds the first `listed` of them,
    // the companion the first `companionListed` (-1: it still holds what it held before).
    std::vector<int> shown;
    qsizetype listed = 0;
    qsizetype companionListed = 0;
    int currentRecord = -1; // the row to make current once it is in the list
    bool filtered = false;
    QString shownCount;      // what the count label got from the search
    bool filling = false;    // our own change of the list
    QString autoListedFor; // the database listAll already ran for in this search

    quint64 slotsOf = 0; // the index (by generation) rowSlots belong to
    std::vector<qsizetype> rowSlots;
    quint64 hitsOf = 0; // the index and words of the last search
    QStringList lastWords;
    std::shared_ptr<const SearchHits> lastHits;

    bool withCompanion() const { return companion && companionLines.size() == visible.size(); }
    bool complete() const
    {
        const qsizetype total = qsizetype(shown.size());
        return listed == total && (!withCompanion() || companionListed == total);
    }
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
    new QShortcut(QKeySequence(Qt::Key_Escape), box, box, &QLineEdit::clear, Qt::WidgetShortcut);
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
        t.autoListedFor.clear();
    t.timer->start();
}

void RecordSearch::listed(QListWidget* list, const Listing& listing, bool wroteCount)
{
    Target* t = targetOf(list);
    if (!t)
        return;
    t->hasListing = true;
    t->listingPath = m_databasePath();
    t->visible = listing.visible;
    t->companionLines = listing.companion;
    t->numbers = listing.numbers;
    // A listing that stopped before writing its count leaves the count it had; while the
    // label shows a search's count, that is the count of the listing before.
    if (wroteCount || !t->filtered)
        t->listedCount = t->count->text();
    // The listing filled both lists: nothing of an earlier search is still to come.
    t->shown.resize(size_t(listing.visible.size()));
    std::iota(t->shown.begin(), t->shown.end(), 0);
    t->listed = t->list->count();
    t->companionListed = t->companion ? t->companion->count() : 0;
    t->currentRecord = -1;
    t->filtered = false;
    t->slotsOf = 0;
    refreshIndex();
    if (!searchWords(t->box->text()).isEmpty())
        apply(*t);
    else
        mapRows(*t);
}

// Where each listed row is in the index: done when a listing or an index arrives rather than
// at the first key, which would otherwise pay for it on a long list.
void RecordSearch::mapRows(Target& t)
{
    if (t.slotsOf == m_generation || !t.hasListing || !m_index || m_indexPath != t.listingPath)
        return;
    t.rowSlots = m_index->slotsOf(t.numbers);
    t.slotsOf = m_generation;
}

void RecordSearch::apply(Target& t)
{
    t.timer->stop();
    // What was typed shows before a long list is rebuilt.
    if (t.list->count() > kLongList)
        t.box->repaint();
    const QStringList words = searchWords(t.box->text());
    if (words.isEmpty()) {
        if (t.filtered && t.hasListing) {
            std::vector<int> all(size_t(t.visible.size()));
            std::iota(all.begin(), all.end(), 0);
            show(t, all, false);
        }
        return;
    }
    // A tab with no listing of the database in use lists it first, as its button would,
    // once per search and database.
    if ((!t.hasListing || t.listingPath != m_databasePath()) && t.autoListedFor != m_databasePath()) {
        t.autoListedFor = m_databasePath();
        if (t.listAll)
            t.listAll(); // its listing comes back through listed()
        return;
    }
    refreshIndex();
    if (!t.hasListing || !m_index || m_indexPath != t.listingPath)
        return; // the lists follow when the index is read (adopt)
    mapRows(t);
    const SearchHits* within = t.hitsOf == m_generation && narrows(words, t.lastWords) ? t.lastHits.get() : nullptr;
    auto hits = std::make_shared<const SearchHits>(m_index->find(words, within));
    t.hitsOf = m_generation;
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
    t.count->setText(count);
    if (rows == t.shown && t.filtered == filtered)
        return;
    // The row the user stood on stays current when its record is still shown.
    const int current = t.list->currentRow();
    t.currentRecord = current >= 0 && current < t.listed ? t.shown[size_t(current)] : -1;
    t.shown = rows;
    t.filtered = filtered;
    const bool longList = t.list->count() > kLongList;
    t.filling = true;
    t.list->clear();
    t.filling = false;
    t.listed = 0;
    t.companionListed = -1;
    const bool done = fill(t, false);
    // After a long list the rows are put on the screen at once, before the rest of them and
    // the hidden companion follow: the list's own repaint would wait behind them.
    if (longList || !done) {
        t.list->viewport()->repaint();
        t.count->repaint();
    }
    if (!done)
        postStep();
    emit applied(t.list);
}

bool RecordSearch::fill(Target& t, bool withCompanionNow)
{
    if (t.complete())
        return true;
    // A long list is filled in slices between which the window paints and reads keys; the
    // first slice is on the screen before the rest, and before the hidden companion.
    QElapsedTimer slice;
    slice.start();
    const qsizetype total = qsizetype(t.shown.size());
    auto lines = [&](const QStringList& from, qsizetype begin, qsizetype end) {
        if (total == from.size())
            return from.mid(begin, end - begin); // every row: the listing's own lines
        QStringList part;
        part.reserve(end - begin);
        for (qsizetype i = begin; i < end; ++i)
            part << from[t.shown[size_t(i)]];
        return part;
    };
    t.filling = true;
    while (t.listed < total && (t.listed == 0 || slice.nsecsElapsed() < kSliceNs)) {
        const qsizetype end = std::min(total, t.listed + kChunk);
        t.list->addItems(lines(t.visible, t.listed, end));
        for (qsizetype i = t.listed; i < end; ++i) {
            if (t.shown[size_t(i)] == t.currentRecord)
                t.list->setCurrentRow(int(i));
        }
        t.listed = end;
    }
    t.filling = false;
    if (t.withCompanion() && withCompanionNow && t.listed == total) {
        if (t.companionListed < 0) {
            t.companion->clear();
            t.companionListed = 0;
        }
        while (t.companionListed < total && slice.nsecsElapsed() < kSliceNs) {
            const qsizetype end = std::min(total, t.companionListed + kChunk);
            t.companion->addItems(lines(t.companionLines, t.companionListed, end));
            t.companionListed = end;
        }
    }
    return t.complete();
}

void RecordSearch::postStep()
{
    if (m_stepPosted)
        return;
    m_stepPosted = true;
    // Low priority, as the window's own repaint: the slice just made is painted first.
    QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
}

bool RecordSearch::event(QEvent* e)
{
    if (e->type() != QEvent::User)
        return QObject::event(e);
    m_stepPosted = false;
    bool more = false;
    for (const auto& t : m_targets)
        more = !fill(*t) || more;
    if (more)
        postStep();
    return true;
}

void RecordSearch::settle()
{
    for (const auto& t : m_targets) {
        while (!fill(*t)) {
        }
    }
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
        ++m_generation;
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
    ++m_generation;
    m_indexPath = build->path;
    m_indexStamp = build->stamp;
    for (const auto& t : m_targets) {
        if (t->hasListing && t->listingPath == m_indexPath && !searchWords(t->box->text()).isEmpty())
            apply(*t);
        else
            mapRows(*t);
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
