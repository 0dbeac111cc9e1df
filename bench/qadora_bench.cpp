// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long the listings, the site generation and the way back (backups, undo) take on
// large databases, next to the file system's own cost of writing the same files and to the
// sqlite3 program's own backup.
#include "benchdata.h"
#include "history/backups.h"
#include "site/pagefile.h"
#include "site/sitegeneration.h"
#include "store/conversion.h"
#include "store/recordstore.h"
#include "ui/answerbox.h"
#include "ui/interaction.h"
#include "ui/main1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace qadora;
using bench::seconds;

namespace {

constexpr int kRecords = 32767;

QString answerText(int i)
{
    static const QString sentence = QStringLiteral("設定画面の「詳細」タブから変更できます。反映までに数分かかる場合があります。<br>\r\n");
    QString a;
    while (a.size() < 400)
        a += sentence;
    return a + QString::number(i);
}

QString makeDatabase(const QString& path, bool distinctKinds)
{
    QFile::remove(path);
    return bench::makeDatabase(path, kRecords, [&](int i) {
        const int kind = distinctKinds ? i : (i * 7919) % 40;
        return Record{0, QStringLiteral("sub%1,種類その%1").arg(kind, 3, 10, QLatin1Char('0')),
                      QStringLiteral("質問その%1：ログインできないときはどうすればよいですか？").arg(i), answerText(i)};
    });
}

void line(const char* what, double s, const char* target = "")
{
    std::printf("  %-44s %8.3f s  %s\n", what, s, target);
}

void benchListings(const QString& dir)
{
    QuietInteraction interaction;
    interaction.onNotice = [](const QString& text) { QTextStream(stderr) << "message: " << text << '\n'; };
    for (const bool distinct : {false, true}) {
        const QString path = makeDatabase(QDir(dir).filePath(distinct ? "distinct.mdb" : "forty.mdb"), distinct);
        QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora")).setValue(QStringLiteral("startup/pgmname2"), path);
        main1 w(&interaction);
        w.Form_Load();
        std::printf("%d records, %s:\n", kRecords, distinct ? "32,767 distinct kinds" : "40 kinds, answers of ~400 characters");
        int n = 0;
        line("kensu", seconds([&] { n = w.kensu(); }));
        line("hyoujiall into List9/List10", seconds([&] { w.hyoujiall(w.List9, w.Label24, w.List10); }), "(target < 0.3 s)");
        line("hyouji2 into List4", seconds([&] { w.hyouji2(w.List4, w.Label9); }), "(target < 0.3 s)");
        line("dbdispl into List8", seconds([&] { w.dbdispl(w.List8); }),
             distinct ? "(target < 0.1 s)" : "(target < 0.3 s)");
        std::printf("  (%d records, %d kinds listed)\n", n, int(w.List8->count()));
    }
}

// The files a generation wrote, with their sizes, to write again as the floors.
QList<QPair<QString, QByteArray>> filesOf(const QString& dir)
{
    QList<QPair<QString, QByteArray>> files;
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        files.append({QFileInfo(path).fileName(), f.readAll()});
    }
    return files;
}

double plainFloor(const QString& dir, const QList<QPair<QString, QByteArray>>& files)
{
    return seconds([&] {
        for (const auto& [name, bytes] : files) {
            const QByteArray path = QFile::encodeName(joinPath(dir, name));
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
                std::perror("write");
            ::close(fd);
        }
    });
}

double renameFloor(const QString& dir, const QList<QPair<QString, QByteArray>>& files)
{
    return seconds([&] {
        for (const auto& [name, bytes] : files) {
            const QByteArray path = QFile::encodeName(joinPath(dir, name));
            const QByteArray temp = path + ".tmp";
            const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
                std::perror("write");
            ::close(fd);
            ::rename(temp.constData(), path.constData());
        }
    });
}

void benchSite(const QString& dir)
{
    const QString path = makeDatabase(QDir(dir).filePath("site.mdb"), false);
    auto fresh = [&](const char* name) {
        const QString d = QDir(dir).filePath(QLatin1String(name));
        QDir().mkpath(d);
        return d;
    };
    auto quiet = [](const QString&) {};
    SiteOptions options;

    // A first, untimed run gives the files (names and bytes) that the floors write again.
    options.outDir = fresh("warmup");
    generateSite(path, options, quiet);
    auto files = filesOf(options.outDir);
    // The floors write in the generation's own order (the pages by number, then the index and
    // sub-index pages): the directory's order would favour them.
    auto rank = [](const QString& name) {
        if (name.startsWith(QLatin1String("qa")))
            return std::pair{0, name.mid(2).toLongLong()};
        return std::pair{name.startsWith(QLatin1String("index")) ? 1 : 2, 0LL};
    };
    std::stable_sort(files.begin(), files.end(), [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });

    // The file system's speed drifts by a factor of two and more from minute to minute, so the
    // generation and the floors are timed in alternation, three rounds each, and the median
    // of each is compared.
    constexpr int kRounds = 3;
    QList<QString> siteDirs, plainDirs, renameDirs;
    for (int i = 0; i < kRounds; ++i) {
        siteDirs << fresh(qPrintable(QStringLiteral("site%1").arg(i)));
        plainDirs << fresh(qPrintable(QStringLiteral("plain%1").arg(i)));
        renameDirs << fresh(qPrintable(QStringLiteral("rename%1").arg(i)));
    }
    auto median = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    auto rounds = [&](double* gen, double* plainFloorTime, double* renameFloorTime) {
        QList<double> g, p, r;
        for (int i = 0; i < kRounds; ++i) {
            r << renameFloor(renameDirs[i], files);
            options.outDir = siteDirs[i];
            g << seconds([&] { generateSite(path, options, quiet); });
            p << plainFloor(plainDirs[i], files);
        }
        *gen = median(g);
        *plainFloorTime = median(p);
        *renameFloorTime = median(r);
    };
    double freshGen, freshPlain, freshRename, againGen, againPlain, againRename;
    rounds(&freshGen, &freshPlain, &freshRename);
    rounds(&againGen, &againPlain, &againRename);

    qint64 bytes = 0;
    for (const auto& f : files)
        bytes += f.second.size();
    std::printf("Site of %d records (40 kinds): %lld files, %.1f MB\n", kRecords, qint64(files.size()), bytes / 1e6);
    // Over its own site nothing changed, so the generation leaves every page alone; the floor
    // still rewrites them all.
    for (const auto& [label, gen, p, r, target] :
         {std::tuple{"new directory", freshGen, freshPlain, freshRename, 1.30},
          std::tuple{"over the existing site, nothing changed", againGen, againPlain, againRename, 0.35}}) {
        std::printf(" %s (median of %d rounds):\n", label, kRounds);
        line("generation", gen);
        line("floor: open/write/close", p);
        line("floor: write temporary, rename", r);
        std::printf("  %-44s %8.0f\n", "pages per second", files.size() / gen);
        std::printf("  %-44s %8.2f\n", "generation / plain floor", gen / p);
        std::printf("  %-44s %8.2f  (target <= %.2f)\n", "generation / temporary-and-rename floor", gen / r, target);
    }
}

void benchAccess(const QString& dir)
{
    const QString fixture = QStringLiteral(QADORA_FIXTURES_DIR "/jet/jet4-large.mdb");
    const QString path = QDir(dir).filePath(QStringLiteral("large.mdb"));
    QFile::copy(fixture, path);
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::printf("Access file jet4-large.mdb (5,000 records), read through the helper process:\n");
    QuietInteraction interaction;
    interaction.onNotice = [](const QString& text) { QTextStream(stderr) << "message: " << text << '\n'; };
    QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora")).setValue(QStringLiteral("startup/pgmname2"), path);
    main1 w(&interaction);
    w.Form_Load();
    line("kensu (first read of the file)", seconds([&] { w.kensu(); }), "(target < 1 s)");
    line("hyoujiall into List9/List10", seconds([&] { w.hyoujiall(w.List9, w.Label24, w.List10); }), "(target < 1 s)");
    line("hyouji2 into List4", seconds([&] { w.hyouji2(w.List4, w.Label9); }));
    line("dbdispl into List8", seconds([&] { w.dbdispl(w.List8); }));
    const QString out = QDir(dir).filePath(QStringLiteral("access-site"));
    QDir().mkpath(out);
    SiteOptions options;
    options.outDir = out;
    line("site generation (5,000 pages)", seconds([&] { generateSite(path, options, [](const QString&) {}); }),
         "(target < 1 s)");
    line("conversion to Qadora's format", seconds([&] { convertAccessDatabase(path, backupPathFor(path)); }),
         "(target < 1 s)");
}

// The site of the large database, left in `out` for the publishing comparison
// (bench/publish_bench.sh).
int makeSite(const QString& dir, const QString& out)
{
    const QString db = makeDatabase(QDir(dir).filePath(QStringLiteral("site.mdb")), false);
    SiteOptions options;
    options.outDir = out;
    QDir().mkpath(out);
    const SiteResult result = generateSite(db, options, [](const QString&) {});
    std::printf("%d pages in %s\n", result.stats.written + result.stats.unchanged, qPrintable(out));
    return result.complete ? 0 : 1;
}

// The backup made before a session's first change, and an undo with the listing it redoes.
void benchHistory(const QString& dir)
{
    const QString path = makeDatabase(QDir(dir).filePath(QStringLiteral("history.mdb")), false);
    std::printf("%d records (%.1f MB), backups and undo:\n", kRecords, QFileInfo(path).size() / 1e6);
    QString error;
    line("backUp (SQLite online backup)", seconds([&] { backUp(path, &error); }));
    line("peer: sqlite3 .backup", seconds([&] {
             QProcess::execute(QStringLiteral("sqlite3"), {path, QStringLiteral(".backup '%1'").arg(QDir(dir).filePath("peer.db"))});
         }));
    line("floor: cp", seconds([&] { QProcess::execute(QStringLiteral("cp"), {path, QDir(dir).filePath("copy.db")}); }));
    const QString latest = backupsOf(path).value(0).path;
    line("restoreBackup (backs up the current state first)", seconds([&] { restoreBackup(latest, path, &error); }));

    QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora")).setValue(QStringLiteral("startup/pgmname2"), path);
    QuietInteraction interaction;
    main1 w(&interaction);
    w.Form_Load();
    w.Command4_Click(); // the entry tab's listing, which an undo lists again
    auto addOne = [&](const QString& quest) {
        w.Combo1->setEditText(QStringLiteral("sub001,種類"));
        w.Text1->setText(quest);
        w.rtext1->setPlainText(QStringLiteral("答え"));
        w.Command3_Click();
    };
    line("first add of the session (with its backup)", seconds([&] { addOne(QStringLiteral("一つ目")); }));
    line("second add", seconds([&] { addOne(QStringLiteral("二つ目")); }));
    line("undo of an add, List1 listed again", seconds([&] { w.undo_Click(); }), "(target < 0.3 s)");
    line("redo", seconds([&] { w.redo_Click(); }), "(target < 0.3 s)");
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // The pages' manifests of the runs measured here stay out of the user's data.
    qputenv("XDG_DATA_HOME", QFile::encodeName(settings.path()));
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("qadora-bench-XXXXXX")));
    if (what == QLatin1String("makesite") && argc > 2)
        return makeSite(dir.path(), QString::fromLocal8Bit(argv[2]));
    if (what.isEmpty() || what == QLatin1String("listings"))
        benchListings(dir.path());
    if (what.isEmpty() || what == QLatin1String("access"))
        benchAccess(dir.path());
    if (what.isEmpty() || what == QLatin1String("site"))
        benchSite(dir.path());
    if (what.isEmpty() || what == QLatin1String("history"))
        benchHistory(dir.path());
    return 0;
}
