// SPDX-License-Identifier: GPL-3.0-or-later
// The modern style beside the frameless style: the time to write a new site of the same
// records in each (the modern one with its stylesheet and search index), and the size of
// what the search page fetches. Run: build/bench/qadora_modern_bench [records...] (default
// 2000 30000); bench/search_fetch.js then measures the queries on the site it leaves
// (QADORA_BENCH_KEEP=DIR leaves DIR/siteN and its database DIR/bN.mdb). First, one answer's
// markup balanced: answers a browser builds as a tree the square of their size.
#include "benchdata.h"
#include "site/htmlbalance.h"
#include "site/sitegeneration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace qadora;

namespace {

Record record(int i)
{
    auto word = [&](int k) { return bench::faqWord(i, k); };
    Record r;
    r.kind = QStringLiteral("k%1,カテゴリ%1").arg(i % 40);
    r.quest = word(0) + QStringLiteral("の") + word(1) + QStringLiteral("について（%1）").arg(i);
    r.anser = QStringLiteral("<b>") + word(2) + QStringLiteral("</b>は、") + word(3) + QStringLiteral("の画面から") + word(4)
        + QStringLiteral("を選んで下さい。<br>\r\n") + word(5) + QStringLiteral("が") + word(6)
        + QStringLiteral("の場合は、お問い合わせ窓口（受付番号%1）までご連絡下さい。").arg(i * 37 % 100000);
    return r;
}

struct Timing {
    double wall = 0;
    double cpu = 0; // the process's, all threads, user and system: steadier than the wall on a busy machine
};

// Into a new folder each time: a folder emptied just before would make the file system search
// its recently deleted inodes on every create, and time that rather than the writing.
Timing generate(const QString& db, const QString& out, bool modern)
{
    QDir().mkpath(out);
    SiteOptions options;
    options.outDir = out;
    options.index.title = QStringLiteral("よくある質問");
    options.index.style.frameless = !modern;
    options.index.style.modern = modern;
    options.index.style.siteAddress = modern ? QStringLiteral("https://example.jp/faq/") : QString();
    const std::clock_t cpu = std::clock();
    const double wall = bench::seconds([&] { generateSite(db, options, [](const QString&) {}); });
    return {wall, double(std::clock() - cpu) / CLOCKS_PER_SEC};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

qint64 gzipSize(const QString& path)
{
    QProcess gz;
    gz.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("gzip -9c < \"$1\" | wc -c"), QStringLiteral("sh"), path});
    gz.waitForFinished();
    return gz.readAllStandardOutput().trimmed().toLongLong();
}

// 700 times `piece` with its number: the median time to balance it, and its size in and out.
void balanceOne(const char* what, const char* piece)
{
    QString answer;
    for (int i = 0; i < 700; ++i)
        answer += QString::fromUtf8(piece).arg(i);
    std::vector<double> times;
    qsizetype size = 0;
    for (int run = 0; run < 5; ++run)
        times.push_back(bench::seconds([&] { size = balanceHtml(answer).html.toUtf8().size(); }));
    std::printf("%-46s %8.4f s %8.0f KB in %8.0f KB out\n", what, median(times), answer.toUtf8().size() / 1024.0,
                size / 1024.0);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    balanceOne("700 items, each its own unclosed <b>", "<ul><li><b class=%1>x<li>y</ul>");
    balanceOne("700 blocks, each its own unclosed <font>", "<div><font color=#%1>x</div>y");
    std::fflush(stdout);
    const QList<int> sizes = bench::recordCounts(argc, argv, {2000, 30000});
    const QString keep = qEnvironmentVariable("QADORA_BENCH_KEEP");
    // QADORA_BENCH_DIR puts the sites elsewhere (a tmpfs shows the cost without the disk's).
    const QString base = qEnvironmentVariable("QADORA_BENCH_DIR");
    QTemporaryDir dir(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/qadora-modern-XXXXXX")
                                     : base + QStringLiteral("/qadora-modern-XXXXXX"));
    // Each run's folder is new, and so is its manifest: they are kept beside the sites, on the
    // same file system, and go with them.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    // "pairs": the median of each run's own ratio, its modern run against the frameless run
    // beside it, which a machine that is slower for some seconds moves less.
    std::printf("%-8s %14s %14s %7s %7s %11s %11s %9s %10s %12s %12s\n", "records", "frameless (s)", "modern (s)", "ratio",
                "pairs", "fl. CPU (s)", "mod. CPU (s)", "CPU ratio", "idx files", "idx raw KB", "idx gzip KB");
    for (const int n : sizes) {
        // A kept site keeps its database beside it, so that the same records can be built again.
        const QString db = bench::makeDatabase(keep.isEmpty() ? dir.filePath(QStringLiteral("b%1.mdb").arg(n))
                                                              : keep + QStringLiteral("/b%1.mdb").arg(n),
                                               n, record);
        const QString out = keep.isEmpty() ? dir.filePath(QStringLiteral("site%1").arg(n)) : keep + QStringLiteral("/site%1").arg(n);
        generate(db, dir.filePath(QStringLiteral("warm%1").arg(n)), false); // the page cache and the store
        std::vector<double> plain, modern, plainCpu, modernCpu;
        // Alternating which style goes first, so neither always meets the fuller file system.
        // A small site's run takes some tens of milliseconds, where the machine's moments
        // weigh: more runs for a steady median. Each run's folder goes once it is timed.
        const int runs = n <= 5000 ? 15 : 5;
        for (int run = 0; run < runs; ++run) {
            auto one = [&](bool m) {
                const bool last = m && run == runs - 1;
                const QString to = last ? out : dir.filePath(QStringLiteral("%1%2-%3").arg(m ? "modern" : "plain").arg(n).arg(run));
                const Timing t = generate(db, to, m);
                (m ? modern : plain).push_back(t.wall);
                (m ? modernCpu : plainCpu).push_back(t.cpu);
                if (!last)
                    QDir(to).removeRecursively();
            };
            one(run % 2 == 1);
            one(run % 2 == 0);
        }
        int files = 0;
        qint64 raw = 0, gz = 0;
        for (QDirIterator it(out, {QStringLiteral("qs-*.js")}, QDir::Files); it.hasNext();) {
            const QString f = it.next();
            ++files;
            raw += QFileInfo(f).size();
            if (files <= 400 || n <= 5000) // a sample of the files for the gzip figure on large sites
                gz += gzipSize(f);
        }
        const double gzKb = (n <= 5000 ? gz : gz * double(files) / std::min(files, 400)) / 1024.0;
        std::vector<double> pairs;
        for (size_t i = 0; i < plain.size(); ++i)
            pairs.push_back(modern[i] / plain[i]);
        std::printf("%-8d %14.3f %14.3f %7.2f %7.2f %11.3f %11.3f %9.2f %10d %12.0f %12.0f\n", n, median(plain), median(modern),
                    median(modern) / median(plain), median(pairs), median(plainCpu), median(modernCpu),
                    median(modernCpu) / median(plainCpu), files, raw / 1024.0, gzKb);
        std::fflush(stdout);
    }
    return 0;
}
