// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long writing 100,000 records into an .xlsx workbook and reading them back take,
// and the memory each needs at its peak, next to LibreOffice converting the same workbook.
// Each step runs in a process of its own, so that its peak memory is its own.
// With --hostile: what reading workbooks made to blow up costs instead (repeats over the whole
// sheet, a cell far to the right in every row, the largest sheet of repeats taken).
// Run: build/bench/qadora_workbook_bench [--no-soffice] [--keep] [--hostile]  (--keep leaves the files for a profiler)
#include "benchdata.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <tuple>

using namespace qadora;
using bench::seconds;

namespace {

constexpr int kRecords = 100000;

// Seconds of processor time: on a machine shared with other work the wall-clock time is longer.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMegabytes(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

// One step in this process: prints its seconds and its peak memory.
int step(const QString& what, const QString& database, const QString& file)
{
    double s = 0;
    if (what == QLatin1String("soffice")) {
        // LibreOffice converting the workbook to CSV; its peak is that of this process's children.
        const QString out = QFileInfo(file).absolutePath();
        QProcess p;
        s = seconds([&] {
            p.start(QStandardPaths::findExecutable(QStringLiteral("soffice")),
                    {QStringLiteral("-env:UserInstallation=file://") + out + QStringLiteral("/profile"), QStringLiteral("--headless"),
                     QStringLiteral("--convert-to"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"),
                     QStringLiteral("--outdir"), out + QStringLiteral("/csv"), file});
            p.waitForFinished(-1);
        });
        std::printf("%.3f %.0f %.3f\n", s, peakMegabytes(RUSAGE_CHILDREN), cpuSeconds(RUSAGE_CHILDREN));
        return 0;
    }
    if (what == QLatin1String("plan")) {
        QByteArray bytes;
        QString error;
        csv::readImportFile(file, &bytes, &error);
        csv::ImportPlan plan;
        s = seconds([&] { plan = csv::planImport(bytes, {}, {}); });
        std::fprintf(stderr, "    %s\n", plan.fatal.isEmpty() ? qPrintable(QStringLiteral("%1 records, %2 rows refused").arg(plan.additions.size()).arg(plan.problems.size()))
                                                            : qPrintable(plan.fatal));
    } else if (what == QLatin1String("export")) {
        csv::ExportOptions options;
        options.workbook = true;
        csv::ExportResult result;
        s = seconds([&] { result = csv::exportRecords(database, file, options); });
        if (!result.ok)
            std::fprintf(stderr, "export failed: %s\n", qPrintable(result.message));
    } else {
        int added = 0;
        s = seconds([&] {
            QByteArray bytes;
            QString error;
            csv::readImportFile(file, &bytes, &error);
            csv::ExistingRecords existing;
            csv::readExisting(database, &existing);
            csv::ImportPlan plan;
            double cpu = cpuSeconds(RUSAGE_SELF);
            const double planning = seconds([&] { plan = csv::planImport(bytes, {}, existing); });
            const double planningCpu = cpuSeconds(RUSAGE_SELF) - cpu;
            StoreStatus status;
            auto store = openStore(database, &status);
            cpu = cpuSeconds(RUSAGE_SELF);
            const double applying = seconds([&] { status = store->applyChanges(plan.additions); });
            std::fprintf(stderr, "    (reading the sheet and planning %.3f s, cpu %.3f s; writing the records %.3f s, cpu %.3f s)\n",
                         planning, planningCpu, applying, cpuSeconds(RUSAGE_SELF) - cpu);
            added = status.ok() ? int(plan.additions.size()) : -1;
        });
        if (added != kRecords)
            std::fprintf(stderr, "import added %d\n", added);
    }
    std::printf("%.3f %.0f %.3f\n", s, peakMegabytes(RUSAGE_SELF), cpuSeconds(RUSAGE_SELF));
    return 0;
}

void line(const char* what, const std::tuple<double, double, double>& figures, const char* note = "")
{
    const auto [s, megabytes, cpu] = figures;
    std::printf("  %-46s %8.3f s (cpu %6.3f s)  %6.0f MB  %s\n", what, s, cpu, megabytes, note);
    std::fflush(stdout);
}

// Workbooks as LibreOffice and Excel lay them out, made by Python's zipfile, each read in a
// process of its own.
int hostile(const QString& self, const QString& dir)
{
    const QString ods = QStringLiteral(R"(
import sys, zipfile
def c(text, n=1): return '<table:table-cell table:number-columns-repeated="%d" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % (n, text)
def r(cells, n=1): return '<table:table-row table:number-rows-repeated="%d">%s</table:table-row>' % (n, cells)
head = r(c('kind') + c('quest') + c('anser'))
rows = {'whole': r(c('x', 16384), 1048576), 'wide': head + r(c('k,t') + c('q') + c('a') + c('x', 16381), 1048575), 'bound': head + r(c('k,t') + c('q') + c('a') + c('x'), 1048575)}[sys.argv[2]]
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet', zipfile.ZIP_STORED)
    z.writestr('content.xml', '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">'
               '<office:body><office:spreadsheet><table:table table:name="S">%s</table:table></office:spreadsheet></office:body>'
               '</office:document-content>' % rows)
)");
    const QString xlsx = QStringLiteral(R"(
import sys, zipfile
def c(ref, text): return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, text)
rows = ''.join('<row r="%d">%s%s%s%s</row>' % (n, c('A%d' % n, 'k,t' if n > 1 else 'kind'), c('B%d' % n, 'q%d' % n if n > 1 else 'quest'),
               c('C%d' % n, 'a' if n > 1 else 'anser'), c('XFD%d' % n, 'x')) for n in range(1, 100002))
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('xl/workbook.xml', '<workbook %s xmlns:r="%s"><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, rel))
    z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>' % rel)
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, rows))
)");
    const struct {
        const char* what;
        const QString& script;
        const char* shape;
        const char* file;
    } books[] = {
        {"ods: one character over 1,048,576 × 16,384", ods, "whole", "whole.ods"},
        {"ods: the same with a header above", ods, "wide", "wide.ods"},
        {"ods: a record repeated to the last row", ods, "bound", "bound.ods"},
        {"xlsx: 100,000 records with a cell in XFD", xlsx, "", "far.xlsx"},
    };
    std::printf("hostile workbooks, planning the import:\n");
    for (const auto& b : books) {
        const QString file = QDir(dir).filePath(QString::fromLatin1(b.file));
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral("-c"), b.script, file, QString::fromLatin1(b.shape)});
        python.waitForFinished(-1);
        QProcess p;
        p.start(self, {QStringLiteral("--step"), QStringLiteral("plan"), QString(), file});
        p.waitForFinished(-1);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        line(b.what, std::tuple{f.value(0).toDouble(), f.value(1).toDouble(), f.value(2).toDouble()});
        std::fputs(p.readAllStandardError().constData(), stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--step"))
        return step(args[2], args[3], args[4]);
    const bool soffice = !args.contains(QStringLiteral("--no-soffice"));
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("qadora-workbook-bench-XXXXXX")));
    dir.setAutoRemove(!args.contains(QStringLiteral("--keep")));
    if (args.contains(QStringLiteral("--hostile")))
        return hostile(app.applicationFilePath(), dir.path());
    const QString source = dir.filePath(QStringLiteral("source.mdb"));
    // Answers of about 200 characters with line breaks and markup, questions of about 30, 40 kinds.
    const QString sentence = QStringLiteral("設定画面の「詳細」タブから変更できます。反映までに数分かかる場合があります。<br>\r\n");
    bench::makeDatabase(source, kRecords, [&](int i) {
        return Record{0, QStringLiteral("sub%1,種類その%1").arg((i * 7919) % 40, 3, 10, QLatin1Char('0')),
                      QStringLiteral("質問その%1：ログインできないときはどうすればよいですか？").arg(i),
                      sentence.repeated(4) + QString::number(i)};
    });
    std::printf("%d records (answers of ~200 characters, 40 kinds), database %.0f MB:\n", kRecords, QFileInfo(source).size() / 1e6);

    const QString book = dir.filePath(QStringLiteral("records.xlsx"));
    const auto child = [&](const QString& what, const QString& database) {
        QProcess p;
        p.start(app.applicationFilePath(), {QStringLiteral("--step"), what, database, book});
        p.waitForFinished(-1);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        std::fputs(p.readAllStandardError().constData(), stderr);
        return std::tuple{f.value(0).toDouble(), f.value(1).toDouble(), f.value(2).toDouble()};
    };
    line("xlsx export (libxlsxwriter)", child(QStringLiteral("export"), source), "(target ≤ 3 s, < 500 MB)");
    std::printf("  (workbook %.1f MB)\n", QFileInfo(book).size() / 1e6);
    const QString target = dir.filePath(QStringLiteral("target.mdb"));
    createDatabase(target);
    line("xlsx import into a new database", child(QStringLiteral("import"), target), "(target ≤ 4 s, < 500 MB)");

    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice && !office.isEmpty()) {
        std::printf("peer, the same workbook:\n");
        line("soffice: that .xlsx to CSV (start-up included)", child(QStringLiteral("soffice"), source));
    }
    return 0;
}
