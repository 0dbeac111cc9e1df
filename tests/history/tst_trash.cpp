// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/trash.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace qadora;
using namespace qadora::test;

class TestTrash : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(QDir().mkpath(path("outside")));
        writeBytes(m_planted = path("outside/planted.txt"), "mine");
    }
    void cleanup() { QCOMPARE(readBytes(m_planted), QByteArray("mine")); }
    void setAside_trashOrBesideNeverOverwriting();
    void emptyFolder_trashesOnlyRegularFilesNotKept();
    void moveToTrash_oddNames_restorableByTheTrashInfo_data();
    void moveToTrash_oddNames_restorableByTheTrashInfo();
    void emptyFolder_accountWithoutDataFolder_makesTheHomeTrash();

private:
    QTemporaryDir m_dir;
    // A file outside every place the program may touch; checked untouched after each test.
    QString m_planted;
    QString path(const QString& name) { return m_dir.filePath(name); }
};

// The trash of the desktop (freedesktop.org: $XDG_DATA_HOME/Trash), or where there is none, the
// name an Access conversion keeps an original under; an existing file is never replaced.
void TestTrash::setAside_trashOrBesideNeverOverwriting()
{
#ifdef Q_OS_WIN
    // Windows: the Recycle Bin as Qt reaches it, or where it refuses (Wine has none), the name
    // beside; the file taken there is never lost, another file there never replaced.
    const QString db = makeDatabase(path("aside.mdb"), {{0, "k,k", "q", "a"}});
    const QByteArray bytes = readBytes(db);
    writeBytes(path("aside_backup.mdb"), "someone else's");
    const SetAside aside = setAside(db);
    QVERIFY(aside.ok);
    QVERIFY(!QFile::exists(db));
    QCOMPARE(readBytes(aside.where), bytes);
    if (!aside.trashed)
        QCOMPARE(aside.where, path("aside_backup2.mdb"));
    QCOMPARE(readBytes(path("aside_backup.mdb")), QByteArray("someone else's"));
#else
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    const QString db = makeDatabase(path("aside.mdb"), {{0, "k,k", "q", "a"}});
    const QByteArray bytes = readBytes(db);
    SetAside aside = setAside(db);
    QVERIFY(aside.ok && aside.trashed);
    QCOMPARE(QFileInfo(aside.where).absolutePath(), trash + "/files");
    QCOMPARE(readBytes(aside.where), bytes);
    QVERIFY(readBytes(trash + "/info/" + QFileInfo(aside.where).fileName() + ".trashinfo").contains("Path=" + QUrl::toPercentEncoding(db, "/")));
    QVERIFY(!QFile::exists(db));

    // No trash: the data folder cannot be made (its parent is a file).
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    writeBytes(path("plain"), "x");
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("plain/data")));
    makeDatabase(db, {{0, "k,k", "q", "a"}});
    writeBytes(path("aside_backup.mdb"), "someone else's");
    aside = setAside(db);
    qputenv("XDG_DATA_HOME", data);
    QVERIFY(aside.ok && !aside.trashed);
    QCOMPARE(aside.where, path("aside_backup2.mdb"));
    QCOMPARE(readBytes(path("aside_backup.mdb")), QByteArray("someone else's"));
    QCOMPARE(readAll(aside.where).size(), 1);
    QVERIFY(!QFile::exists(db));
    // Nothing strayed into the working folder.
    QVERIFY(!QFile::exists(QDir::current().filePath("files/aside.mdb")));
#endif
}

void TestTrash::emptyFolder_trashesOnlyRegularFilesNotKept()
{
    QTemporaryDir site;
    const QDir dir(site.path());
    const QString db = makeDatabase(dir.filePath("qa.mdb"));
    writeBytes(db + "-journal", "j");
    for (const char* name : {"index.html", ".hidden", "list.txt", "target.txt"})
        writeBytes(dir.filePath(name), name);
#ifdef Q_OS_WIN
    // Windows: a folder is not a file to trash; whatever the Recycle Bin refuses (under Wine,
    // everything) stays where it was, said so.
    QVERIFY(dir.mkdir("folder.html"));
    const QStringList offered{"index.html", ".hidden", "target.txt", "folder.html", "list.txt", "qa.mdb"};
    const QHash<QString, QString> keepHere{{db, "db"}, {dir.filePath("list.txt"), "list"}};
    const FolderEmptying done = emptyFolder(site.path(), offered, keepHere);
    QStringList gone;
    for (const QString& name : offered) {
        if (!QFileInfo::exists(dir.filePath(name)))
            gone << name;
    }
    QCOMPARE(done.trashed, gone);
    QVERIFY(QFile::exists(db) && QFile::exists(dir.filePath("list.txt")));
    QVERIFY(QFileInfo(dir.filePath("folder.html")).isDir());
    for (const auto& [name, reason] : done.kept) {
        if (name == "qa.mdb" || name == "list.txt")
            QCOMPARE(reason, QString(name == "qa.mdb" ? "db" : "list"));
        else if (name == "folder.html")
            QCOMPARE(reason, kNotRegularReason);
        else
            QCOMPARE(reason, kNoTrashReason);
    }
    QCOMPARE(done.kept.size() + done.trashed.size(), offered.size());
#else
    QFile::link(dir.filePath("target.txt"), dir.filePath("link.html"));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name) << "gone.html";
    const QHash<QString, QString> keep{{db, "db"}, {db + "-journal", "db"}, {db + "-wal", "db"}, {dir.filePath("list.txt"), "list"}};
    const FolderEmptying result = emptyFolder(site.path(), names, keep);
    QCOMPARE(result.trashed, (QStringList{".hidden", "index.html", "target.txt"}));
    const QList<std::pair<QString, QString>> kept{
        {"link.html", kNotRegularReason}, {"list.txt", "list"}, {"pipe", kNotRegularReason}, {"qa.mdb", "db"}, {"qa.mdb-journal", "db"}};
    QCOMPARE(result.kept, kept);
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             (QStringList{"link.html", "list.txt", "pipe", "qa.mdb", "qa.mdb-journal"}));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    QCOMPARE(readBytes(trash + "index.html"), QByteArray("index.html"));

    // Without a trash nothing is removed.
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("list.txt/data")));
    const FolderEmptying none = emptyFolder(site.path(), {"list.txt"}, {});
    qputenv("XDG_DATA_HOME", data);
    QCOMPARE(none.kept, (QList<std::pair<QString, QString>>{{"list.txt", kNoTrashReason}}));
    QVERIFY(QFile::exists(dir.filePath("list.txt")));
#endif
}

void TestTrash::moveToTrash_oddNames_restorableByTheTrashInfo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("otherDisk");
    for (bool other : {false, true}) {
        const char* where = other ? "another disk: " : "home trash: ";
        QTest::newRow(QByteArray(where).append("space").constData()) << "a b.html" << other;
        QTest::newRow(QByteArray(where).append("percent").constData()) << "100%25.html" << other;
        QTest::newRow(QByteArray(where).append("line break").constData()) << "one\ntwo.html" << other;
        QTest::newRow(QByteArray(where).append("kana").constData()) << QStringLiteral("ページ #1.html") << other;
    }
}

// The .trashinfo says where the file came from so that a file manager can put it back.
void TestTrash::moveToTrash_oddNames_restorableByTheTrashInfo()
{
    QFETCH(QString, name);
    QFETCH(bool, otherDisk);
    QADORA_LINUX_ONLY("the freedesktop.org trash and its .trashinfo files (Windows has its Recycle Bin)");
    QTemporaryDir dir;
    QString folder = dir.filePath("site");
    QVERIFY(QDir().mkpath(folder));
    if (otherDisk && !mountTmpfs(folder, "size=1m"))
        QSKIP("mounting a tmpfs is not permitted here");
    const QString file = folder + "/" + name;
    writeBytes(file, "page");
    QString where;
    const bool moved = moveToTrash(file, &where);
    const QByteArray info = readBytes(QFileInfo(where).absolutePath() + "/../info/" + QFileInfo(where).fileName() + ".trashinfo");
    const QString trashTop = QFileInfo(QFileInfo(where).absolutePath() + "/../..").canonicalFilePath();
    if (otherDisk)
        unmount(folder);
    QVERIFY(moved);
    const QList<QByteArray> lines = info.split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("[Trash Info]"));
    QVERIFY(lines[1].startsWith("Path="));
    const QByteArray value = lines[1].mid(5);
    // Only what a URI's path may hold, nothing raw.
    QCOMPARE(value, QUrl::toPercentEncoding(QUrl::fromPercentEncoding(value), "/"));
    const QString original = QUrl::fromPercentEncoding(value);
    QCOMPARE(original.startsWith('/') ? original : trashTop + "/" + original, file);
    QCOMPARE(original.startsWith('/'), !otherDisk);
    QVERIFY(lines[2].startsWith("DeletionDate="));
}

// A new account has no ~/.local/share yet: the home trash is made (for the user alone) and
// ﾃﾞｨﾚｸﾄﾘ内全削除 trashes there.
void TestTrash::emptyFolder_accountWithoutDataFolder_makesTheHomeTrash()
{
    QADORA_LINUX_ONLY("the freedesktop.org home trash (Windows has its Recycle Bin)");
#ifndef Q_OS_WIN
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("home")));
    QVERIFY(QDir().mkpath(dir.filePath("site")));
    writeBytes(dir.filePath("site/index.html"), "i");
    const QByteArray home = qgetenv("HOME");
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(dir.filePath("home")));
    qunsetenv("XDG_DATA_HOME");
    const FolderEmptying result = emptyFolder(dir.filePath("site"), {"index.html"}, {});
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", data);
    QCOMPARE(result.trashed, QStringList{"index.html"});
    QVERIFY(result.kept.isEmpty());
    QCOMPARE(readBytes(dir.filePath("home/.local/share/Trash/files/index.html")), QByteArray("i"));
    for (const char* made : {"home/.local", "home/.local/share", "home/.local/share/Trash"}) {
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(dir.filePath(made)).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }
#endif
}

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
