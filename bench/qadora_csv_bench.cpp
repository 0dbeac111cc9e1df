// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long exporting 100,000 records to CSV and importing them again take, next to the
// sqlite3 program doing the same with its own CSV mode and LibreOffice converting the same
// file. Run: build/bench/qadora_csv_bench [--no-soffice]
#include "benchdata.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "store/recordstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace qadora;
using bench::seconds;

namespace {

constexpr int kRecords = 100000;

// Answers of about 200 characters with line breaks and markup, questions of about 30, 40 kinds.
void fill(const QString& path)
{
    const QString sentence = QStringLiteral("設定画面の「詳細」タブから変更できます。反映までに数分かかる場合があります。<br>\r\n");
    bench::makeDatabase(path, kRecords, [&](int i) {
        return Record{0, QStringLiteral("sub%1,種類その%1").arg((i * 7919) % 40, 3, 10, QLatin1Char('0')),
                      QStringLiteral("質問その%1：ログインできないときはどうすればよいですか？").arg(i),
                      sentence.repeated(4) + QString::number(i)};
    });
}

void line(const char* what, double s, const char* note = "")
{
    std::printf("  %-52s %8.3f s  %s\n", what, s, note);
    std::fflush(stdout);
}

double run(const QString& program, const QStringList& args, const QByteArray& input = {}, int timeoutMs = 600000)
{
    QProcess p;
    return seconds([&] {
        p.start(program, args);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(timeoutMs) || p.exitCode() != 0)
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    });
}

// The whole import as the window does it after the preview; `applying` gets the share of the
// one transaction that writes the records.
double importInto(const QString& database, const QString& file, int* added, double* applying = nullptr)
{
    return seconds([&] {
        QByteArray bytes;
        QString error;
        csv::readImportFile(file, &bytes, &error);
        csv::ExistingRecords existing;
        csv::readExisting(database, &existing);
        const csv::ImportPlan plan = csv::planImport(bytes, {std::nullopt, csv::separatorFor(file)}, existing);
        StoreStatus status;
        auto store = openStore(database, &status);
        const double s = seconds([&] { status = store->applyChanges(plan.additions); });
        if (applying)
            *applying = s;
        *added = status.ok() ? int(plan.additions.size()) : -1;
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool soffice = !app.arguments().contains(QStringLiteral("--no-soffice"));
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("qadora-csv-bench-XXXXXX")));
    const QString source = dir.filePath(QStringLiteral("source.mdb"));
    fill(source);
    std::printf("%d records (answers of ~200 characters, 40 kinds), database %.0f MB:\n", kRecords,
                QFileInfo(source).size() / 1e6);

    const QString sjis = dir.filePath(QStringLiteral("sjis.csv"));
    const QString utf8 = dir.filePath(QStringLiteral("utf8.csv"));
    line("export, Shift_JIS", seconds([&] { csv::exportRecords(source, sjis, {csv::Encoding::ShiftJis, csv::Separator::Comma}); }),
         "(target < 2 s)");
    line("export, UTF-8", seconds([&] { csv::exportRecords(source, utf8, {csv::Encoding::Utf8, csv::Separator::Comma}); }),
         "(target < 2 s)");
    std::printf("  (files: Shift_JIS %.0f MB, UTF-8 %.0f MB)\n", QFileInfo(sjis).size() / 1e6, QFileInfo(utf8).size() / 1e6);

    int added = 0;
    for (const auto& [file, what] : {std::pair{sjis, "import into a new database, Shift_JIS"}, std::pair{utf8, "import into a new database, UTF-8"}}) {
        const QString target = dir.filePath(QFileInfo(file).baseName() + QStringLiteral(".mdb"));
        createDatabase(target);
        double applying = 0;
        line(what, importInto(target, file, &added, &applying), "(target < 2 s)");
        line("  of which writing the records in one transaction", applying);
    }
    std::printf("  (%d records added)\n", added);
    line("preview of the same file again (every row refused)", importInto(dir.filePath(QStringLiteral("utf8.mdb")), utf8, &added));

    std::printf("peers, the same records:\n");
    const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (!sqlite.isEmpty()) {
        const QString out = dir.filePath(QStringLiteral("sqlite3.csv"));
        line("sqlite3: .mode csv, SELECT * into a file",
             run(sqlite, {source}, QStringLiteral(".headers on\n.mode csv\n.once %1\nSELECT * FROM tbl1;\n").arg(out).toUtf8()));
        const QString into = dir.filePath(QStringLiteral("sqlite3.db"));
        line("sqlite3: .import --csv into a new table", run(sqlite, {into}, QStringLiteral(".import --csv %1 tbl1\n").arg(out).toUtf8()));
    }
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice && !office.isEmpty()) {
        const QStringList common{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                                 QStringLiteral("--headless")};
        // Its start-up alone, then the conversion of the UTF-8 file to .xlsx and back.
        const QString tiny = dir.filePath(QStringLiteral("tiny.csv"));
        QFile f(tiny);
        f.open(QIODevice::WriteOnly);
        f.write("No,kind,quest,anser\r\n1,\"a,b\",q,a\r\n");
        f.close();
        line("soffice: start, convert a one-row CSV to .xlsx",
             run(office, common + QStringList{QStringLiteral("--convert-to"), QStringLiteral("xlsx"), QStringLiteral("--outdir"), dir.path(), tiny}));
        line("soffice: the UTF-8 export to .xlsx",
             run(office, common + QStringList{QStringLiteral("--infilter=Text - txt - csv (StarCalc):44,34,76,1,,1041"),
                                              QStringLiteral("--convert-to"), QStringLiteral("xlsx"), QStringLiteral("--outdir"),
                                              dir.filePath(QStringLiteral("xlsx")), utf8}));
        line("soffice: that .xlsx back to CSV",
             run(office, common + QStringList{QStringLiteral("--convert-to"),
                                              QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), QStringLiteral("--outdir"),
                                              dir.filePath(QStringLiteral("back")), dir.filePath(QStringLiteral("xlsx/utf8.xlsx"))}));
    }
    return 0;
}
