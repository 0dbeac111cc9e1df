// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long writing 100,000 records into an .xlsx workbook and reading them back take,
// and the memory each needs at its peak, next to LibreOffice converting the same workbook.
// Each step runs in a process of its own, so that its peak memory is its own.
// Run: build/bench/qadora_workbook_bench [--no-soffice] [--keep]  (--keep leaves the files for a profiler)
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
    if (what == QLatin1String("export")) {
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
