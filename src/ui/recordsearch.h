// SPDX-License-Identifier: GPL-3.0-or-later
// The search boxes above the record lists: typing narrows a list to the records whose kind,
// question or answer holds every word; emptying the box shows the listing again.
#pragma once

#include "search/databasestamp.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace qadora {

class SearchIndex;
struct Listing;

class RecordSearch : public QObject {
    Q_OBJECT
public:
    // `databasePath` names the database the window uses now.
    explicit RecordSearch(std::function<QString()> databasePath, QObject* parent = nullptr);
    ~RecordSearch() override;

    // A search box over `list`. `companion`, when there is one, keeps its lines beside the
    // list's at the same positions; `count` shows the number of rows; `listAll` fills the list
    // as its button does, for a search typed before anything was listed.
    void attach(QLineEdit* box, QListWidget* list, QListWidget* companion, QLabel* count,
                std::function<void()> listAll);

    // A listing filled `list` (and its companion) with `listing`, and wrote its count when
    // `wroteCount`: the rows the box then narrows. While the box holds words only the matching
    // rows stay.
    void listed(QListWidget* list, const Listing& listing, bool wroteCount);

    // Reads the current database into the index when it or its file changed since the last
    // reading; on a worker thread, except for Access files. The lists follow when it is done.
    void refreshIndex();
    // The index of the current database is read and up to date.
    bool indexReady() const;
    // Waits for a reading under way (tests and benchmarks).
    void waitForIndex();
    // Finishes filling a long list still being filled in slices, and its companion. Call
    // before reading a companion list.
    void settle();

    // The box over `list`, if it has one.
    QLineEdit* boxOf(const QListWidget* list) const;

signals:
    // A search has changed what a list shows.
    void applied(QListWidget* list);

protected:
    bool event(QEvent* e) override;

private:
    struct Target;
    struct Build;
    Target* targetOf(const QObject* widget) const;
    void schedule(Target& t);
    void apply(Target& t);
    void mapRows(Target& t);
    void show(Target& t, const std::vector<int>& rows, bool filtered);
    // Adds the next slice of rows, and of the companion's once the list is complete; true when
    // both are.
    bool fill(Target& t, bool withCompanionNow = true);
    void postStep();
    void adopt(const std::shared_ptr<Build>& build);
    void startBuild(const QString& path, const DatabaseStamp& stamp);

    std::function<QString()> m_databasePath;
    std::vector<std::unique_ptr<Target>> m_targets;
    std::shared_ptr<const SearchIndex> m_index;
    quint64 m_generation = 1; // counts the indexes m_index has held
    QString m_indexPath;
    DatabaseStamp m_indexStamp;
    std::shared_ptr<Build> m_build; // the reading the window waits for
    std::vector<std::shared_ptr<Build>> m_running; // every worker still running, cancelled ones too
    bool m_stepPosted = false;
};

} // namespace qadora
