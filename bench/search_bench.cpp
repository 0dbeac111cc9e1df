// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how fast the search boxes narrow a list, on 32,767 and 300,000 records with answers
// of 200–400 characters: from the last key (or input-method commit) to the narrowed list on
// the screen, for a word one record holds and for one every record holds, on each of the
// three tabs; how long the event loop is blocked while a person types; and, side by side, the
// same searches as SQLite answers them with an FTS5 trigram index and with LIKE.
// Run: build/bench/qadora_search_bench [records...]   (under xvfb-run, or QT_QPA_PLATFORM=offscreen)
#include "benchdata.h"
#include "search/searchindex.h"
#include "search/searchtext.h"
#include "store/recordstore.h"
#include "ui/interaction.h"
#include "ui/main1.h"
#include "ui/recordsearch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace qadora;

namespace {

const QString kOneWord = QStringLiteral("特製の合言葉"); // in one answer
const QString kOneShort = QStringLiteral("鰻丼");       // two characters, in one answer
const QString kAllWord = QStringLiteral("質問");        // in every question
const QStringList kSentences{
    "設定画面の「詳細」タブから変更できます。", "反映までに数分かかる場合があります。", "ログインできないときはパスワードを再設定して下さい。",
    "ＩＤとパスワードは半角英数字で入力します。", "お問い合わせはメールで受け付けています。", "営業時間は平日の午前９時から午後５時までです。",
    "送料は全国一律です。", "商品の到着まで３日から５日ほどかかります。", "返品は到着後７日以内にご連絡下さい。", "会員登録は無料です。",
    "ポイントは次回のお買い物から使えます。", "領収書は注文履歴の画面から印刷できます。", "Windows 10 と macOS に対応しています。",
    "スマートフォンでもご利用いただけます。", "古いブラウザーでは表示が崩れることがあります。", "アプリを最新の版に更新して下さい。",
    "キャッシュを削除すると直ることがあります。", "詳しくはヘルプページをご覧下さい。", "料金はクレジットカードか銀行振込でお支払い下さい。",
    "解約は月末までに手続きして下さい。", "<br>\r\n", "ｶﾀｶﾅの半角文字も使えます。", "迷惑メールのフォルダーも確認して下さい。",
    "データは毎日自動で保存されます。",
};

Record benchRecord(int i, int n, QRandomGenerator& rng)
{
    Record r;
    r.kind = QStringLiteral("sub%1,種類その%1").arg((i * 7919) % 40, 3, 10, QLatin1Char('0'));
    r.quest = QStringLiteral("質問その%1：").arg(i) + kSentences[rng.bounded(int(kSentences.size()))];
    const int length = 200 + rng.bounded(201);
    QString a;
    while (a.size() < length) {
        a += kSentences[rng.bounded(int(kSentences.size()))];
        if (rng.bounded(4) == 0)
            a += QString::number(rng.bounded(100000));
    }
    a.truncate(length);
    if (i == n / 2)
        a.replace(10, kOneWord.size(), kOneWord);
    if (i == n / 3)
        a.replace(40, kOneShort.size(), kOneShort);
    r.anser = a;
    return r;
}

QString makeDatabase(const QString& path, int n)
{
    QRandomGenerator rng(18);
    return bench::makeDatabase(path, n, [&](int i) { return benchRecord(i, n, rng); });
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

long rssMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4096 / (1 << 20) : 0;
}

template<typename F>
double medianMs(int rounds, F&& f)
{
    QList<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times << ms(t);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// When the list's viewport was first painted showing a screenful of the new rows.
class PaintClock : public QObject {
public:
    QElapsedTimer* clock = nullptr;
    std::function<bool()> ready;
    double paintedAt = -1;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && paintedAt < 0 && ready())
            paintedAt = ms(*clock);
        return false;
    }
};

// The longest time the event loop did not run while `during` went on.
class Stalls : public QObject {
public:
    explicit Stalls()
    {
        m_clock.start();
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double now = ms(m_clock);
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start();
    }
    double longest() const { return m_longest; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    double m_last = -1;
    double m_longest = 0;
};

void commit(QLineEdit* box, const QString& text)
{
    QInputMethodEvent e;
    e.setCommitString(text);
    QCoreApplication::sendEvent(box, &e);
}

struct Shown {
    double painted = -1; // the first screenful of the narrowed rows painted, the count shown
    double done = -1;    // every row in the list, and in the hidden companion
};

// From the key to the list showing `rows` rows.
Shown timeKey(QListWidget* list, QListWidget* companion, QLabel* count, qsizetype rows, const std::function<void()>& key)
{
    PaintClock paint;
    QElapsedTimer clock;
    paint.clock = &clock;
    const qsizetype screenful = std::min<qsizetype>(rows, 20);
    paint.ready = [&] { return list->count() >= screenful && count->text() == QString::number(rows); };
    list->viewport()->installEventFilter(&paint);
    clock.start();
    key();
    Shown s;
    while (ms(clock) < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (s.done < 0 && list->count() == rows && (!companion || companion->count() == rows))
            s.done = ms(clock);
        if (s.done >= 0 && paint.paintedAt >= 0)
            break;
    }
    s.painted = paint.paintedAt;
    list->viewport()->removeEventFilter(&paint);
    return s;
}

void row(const char* what, double value, const char* unit = "ms")
{
    std::printf("  %-62s %9.1f %s\n", what, value, unit);
}

void benchWindow(const QString& db, int n)
{
    QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora")).setValue(QStringLiteral("startup/pgmname2"), db);
    QuietInteraction quiet;
    main1 w(&quiet);
    w.resize(1000, 700);
    w.show();
    // Keys reach the boxes' shortcuts (Escape) only in the active window, with or without a
    // window manager.
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w))
        std::printf("  (the window did not become active: Escape is not measured)\n");
    const long before = rssMb();
    QElapsedTimer t;
    t.start();
    w.Form_Load();
    w.recordSearch()->waitForIndex();
    row("window: index read at start (worker thread)", ms(t));
    row("window: memory the index takes (resident)", double(rssMb() - before), "MB");

    struct Tab {
        const char* name;
        int index;
        QLineEdit* box;
        QListWidget* list;
        QListWidget* companion;
        QLabel* count;
        std::function<void()> listAll;
    };
    const Tab tabs[] = {
        {"display (List9 + List10)", 0, w.searchDisplay, w.List9, w.List10, w.Label24, [&] { w.Command18_Click(); }},
        {"delete (List2)", 2, w.searchDelete, w.List2, nullptr, w.Label7, [&] { w.Command5_Click(); }},
        {"modification (List3)", 3, w.searchModify, w.List3, nullptr, w.Label13, [&] { w.Command2_Click(); }},
    };
    for (const Tab& tab : tabs) {
        w.SSTab1->setCurrentIndex(tab.index);
        QElapsedTimer listing;
        listing.start();
        tab.listAll();
        QApplication::processEvents();
        std::printf(" %s, listed by its button in %.0f ms:\n", tab.name, ms(listing));
        tab.box->setFocus();
        QApplication::processEvents();
        auto timed = [&](qsizetype rows, const std::function<void()>& key) {
            return timeKey(tab.list, tab.companion, tab.count, rows, key);
        };
        const Shown one = timed(1, [&] { commit(tab.box, kOneWord); });
        row("  word in 1 record (commit) -> the row on screen", one.painted);
        row("  ... every list complete", one.done);
        tab.box->selectAll();
        const Shown all = timed(n, [&] { commit(tab.box, kAllWord); });
        row("  then a word in every record -> the rows on screen", all.painted);
        row("  ... every list complete", all.done);
        tab.box->selectAll();
        const Shown shortWord = timed(1, [&] { commit(tab.box, kOneShort); });
        row("  then a two-character word in 1 record -> the row on screen", shortWord.painted);
        // Key by key: "sub01" narrows at the last key from every record to the kinds sub010-sub019.
        tab.box->clear();
        QApplication::processEvents();
        for (const char* key : {"s", "u", "b", "0"}) {
            QTest::keyClicks(tab.box, QLatin1String(key));
            QApplication::processEvents();
        }
        qsizetype quarter = 0;
        for (int i = 0; i < n; ++i)
            quarter += (i * 7919) % 40 / 10 == 1;
        const Shown last = timed(quarter, [&] { QTest::keyClick(tab.box, Qt::Key_1); });
        row("  typed key by key \"sub01\": the last key -> the rows on screen", last.painted);
        row("  ... every list complete", last.done);
        // Escape: the listing again.
        const Shown escape = timed(n, [&] { QTest::keyClick(tab.box, Qt::Key_Escape); });
        row("  Escape -> the listing's rows on screen", escape.painted);
        row("  ... every list complete", escape.done);

        // A person typing: a key every 120 ms, "質問" then the rare word, then clearing.
        Stalls stalls;
        auto pause = [] { QTest::qWait(120); };
        for (const QString& text : {QStringLiteral("合"), QStringLiteral("言"), QStringLiteral("葉")}) {
            commit(tab.box, text);
            pause();
        }
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(tab.box, Qt::Key_Backspace);
            pause();
        }
        for (const char* key : {"s", "u", "b", "0", "1"}) {
            QTest::keyClicks(tab.box, QLatin1String(key));
            pause();
        }
        QTest::keyClick(tab.box, Qt::Key_Escape);
        pause();
        row("  typing at 8 keys a second: longest the window did not respond", stalls.longest());
        // The listing the Escape brought back is completed in slices: the next tab is timed
        // without them.
        QElapsedTimer rest;
        rest.start();
        while ((tab.list->count() < n || (tab.companion && tab.companion->count() < n)) && ms(rest) < 20000)
            QCoreApplication::processEvents();
    }

    // The floor: what the list widget itself costs for as many rows, in the same window.
    w.recordSearch()->settle();
    const QStringList lines = linesOf(w.List2);
    QListWidget floor;
    floor.setUniformItemSizes(true);
    floor.resize(400, 300);
    floor.show();
    QList<double> add, clear;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer f;
        f.start();
        floor.addItems(lines);
        floor.viewport()->repaint();
        add << ms(f);
        f.restart();
        floor.clear();
        floor.viewport()->repaint();
        clear << ms(f);
    }
    std::sort(add.begin(), add.end());
    std::sort(clear.begin(), clear.end());
    std::printf(" floor, a bare list widget with the same %lld rows:\n", (long long)lines.size());
    row("  clear all rows and repaint (what a one-record result must do)", clear[1]);
    row("  add all rows and repaint (what an every-record result must do)", add[1]);
}

void benchCore(const QString& db, int n)
{
    StoreStatus status;
    QElapsedTimer t;
    t.start();
    const long before = rssMb();
    const auto index = SearchIndex::fromStore(db, nullptr, nullptr, &status);
    row("index: read and fold every record", ms(t));
    row("index: memory (text, filters, numbers)", double(index->memoryBytes()) / (1 << 20), "MB");
    Q_UNUSED(before);
    // One record changed by another program: what a refresh costs.
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("change"));
        c.setDatabaseName(db);
        c.open();
        QSqlQuery(c).exec(QStringLiteral("UPDATE tbl1 SET anser = anser || '追記' WHERE No = %1").arg(n / 4));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("change"));
    t.restart();
    const auto refreshed = SearchIndex::fromStore(db, index.get(), nullptr, &status);
    row("index: read again after one record changed", ms(t));
    std::printf("  %-62s %6d of %d\n", "index: chunks taken over unchanged", refreshed->sharedChunks(*index), refreshed->chunkCount());

    for (const QString& word : {kOneWord, kOneShort, QStringLiteral("合"), kAllWord, QStringLiteral("ログイン 再設定")}) {
        const QStringList words = searchWords(word);
        qsizetype hits = 0;
        const double time = medianMs(5, [&] { hits = index->find(words).count(); });
        std::printf("  %-44s %8lld hits %9.2f ms\n", qPrintable(QStringLiteral("search \"%1\":").arg(word)), (long long)hits, time);
    }
}

// The peers: SQLite's FTS5 with the trigram tokenizer, in a cache file of its own, and LIKE.
void benchSqlite(const QString& db, const QString& dir)
{
    const QString cache = QDir(dir).filePath(QStringLiteral("cache.sqlite"));
    QFile::remove(cache);
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peer"));
    c.setDatabaseName(cache);
    c.open();
    QSqlQuery q(c);
    q.exec(QStringLiteral("PRAGMA encoding = 'UTF-16le'")); // as the database, so it can be attached
    if (!q.exec(QStringLiteral("ATTACH DATABASE '%1' AS user").arg(db)))
        std::printf("  attach: %s\n", qPrintable(q.lastError().text()));
    QElapsedTimer t;
    t.start();
    if (!q.exec(QStringLiteral("CREATE VIRTUAL TABLE fts USING fts5(kind, quest, anser, tokenize='trigram')"))
        || !q.exec(QStringLiteral("INSERT INTO fts(rowid, kind, quest, anser) SELECT No, kind, quest, anser FROM user.tbl1")))
        std::printf("  fts5: %s\n", qPrintable(q.lastError().text()));
    row("FTS5 trigram: build the index in a cache file", ms(t));
    row("FTS5 trigram: cache file size", double(QFileInfo(cache).size()) / (1 << 20), "MB");
    for (const QString& word : {kOneWord, kOneShort, kAllWord}) {
        // Trigrams need three characters; shorter words are a scan with LIKE.
        const QString sql = word.size() >= 3 ? QStringLiteral("SELECT count(*) FROM fts WHERE fts MATCH ?")
                                             : QStringLiteral("SELECT count(*) FROM fts WHERE kind LIKE ? OR quest LIKE ? OR anser LIKE ?");
        const QVariant value = word.size() >= 3 ? QVariant(QLatin1Char('"') + word + QLatin1Char('"'))
                                                : QVariant(QLatin1Char('%') + word + QLatin1Char('%'));
        qint64 hits = 0;
        const double time = medianMs(3, [&] {
            QSqlQuery s(c);
            s.prepare(sql);
            for (int i = 0; i < sql.count(QLatin1Char('?')); ++i)
                s.addBindValue(value);
            s.exec();
            s.next();
            hits = s.value(0).toLongLong();
        });
        std::printf("  %-44s %8lld hits %9.2f ms\n", qPrintable(QStringLiteral("FTS5 \"%1\":").arg(word)), (long long)hits, time);
    }
    for (const QString& word : {kOneWord, kAllWord}) {
        qint64 hits = 0;
        const double time = medianMs(3, [&] {
            QSqlQuery s(c);
            s.prepare(QStringLiteral("SELECT count(*) FROM user.tbl1 WHERE kind LIKE ? OR quest LIKE ? OR anser LIKE ?"));
            for (int i = 0; i < 3; ++i)
                s.addBindValue(QLatin1Char('%') + word + QLatin1Char('%'));
            s.exec();
            s.next();
            hits = s.value(0).toLongLong();
        });
        std::printf("  %-44s %8lld hits %9.2f ms\n", qPrintable(QStringLiteral("LIKE \"%1\" on the database:").arg(word)), (long long)hits, time);
    }
    q.finish();
    c.close();
    c = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("peer"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {32767, 300000};
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    for (int n : sizes) {
        QElapsedTimer t;
        t.start();
        const QString db = makeDatabase(QDir(dir.path()).filePath(QStringLiteral("bench%1.sqlite").arg(n)), n);
        std::printf("%d records, answers of 200-400 characters (database made in %.0f s, %lld MB):\n", n, ms(t) / 1000,
                    QFileInfo(db).size() >> 20);
        if (!qEnvironmentVariableIsSet("QADORA_BENCH_WINDOW_ONLY")) {
            benchCore(db, n);
            benchSqlite(db, dir.path());
        }
        benchWindow(db, n);
        QFile::remove(db);
        std::fflush(stdout);
    }
    return 0;
}
