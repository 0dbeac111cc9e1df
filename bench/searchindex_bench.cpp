// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU the build spends writing the site search's index, on the records of the modern
// bench (their visible text), with the index's size and a digest of every file it writes: a
// change that makes the writer cheaper must leave the digest as it was.
// Run: build/bench/qadora_searchindex_bench [records...]   (default 2000 30000)
#include "benchdata.h"
#include "site/searchsite.h"

#include <QCoreApplication>
#include <QCryptographicHash>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace qadora;

namespace {

// As the modern bench's records show on their pages.
SearchDocument document(int i)
{
    auto word = [&](int k) { return bench::faqWord(i, k); };
    SearchDocument d;
    d.file = QStringLiteral("%1.html").arg(i + 1);
    d.kind = i % 40;
    d.question = word(0) + QStringLiteral("の") + word(1) + QStringLiteral("について（%1）").arg(i);
    d.answer = word(2) + QStringLiteral("は、") + word(3) + QStringLiteral("の画面から") + word(4)
        + QStringLiteral("を選んで下さい。\n") + word(5) + QStringLiteral("が") + word(6)
        + QStringLiteral("の場合は、お問い合わせ窓口（受付番号%1）までご連絡下さい。").arg(i * 37 % 100000);
    return d;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QList<int> sizes = bench::recordCounts(argc, argv, {2000, 30000});
    std::printf("%-8s %16s %8s %10s  %s\n", "records", "CPU s (best of 3)", "files", "raw KB", "digest of the files");
    for (const int n : sizes) {
        QList<SearchKind> kinds;
        for (int k = 0; k < 40; ++k)
            kinds.append({QStringLiteral("k%1.html").arg(k), QStringLiteral("カテゴリ%1").arg(k)});
        QList<SearchDocument> docs;
        for (int i = 0; i < n; ++i)
            docs.append(document(i));
        double best = 1e9;
        QList<std::pair<QString, QByteArray>> files;
        for (int run = 0; run < 3; ++run) {
            const std::clock_t cpu = std::clock();
            files = searchFiles(kinds, docs);
            best = std::min(best, double(std::clock() - cpu) / CLOCKS_PER_SEC);
        }
        QCryptographicHash digest(QCryptographicHash::Sha256);
        qint64 raw = 0;
        for (const auto& [name, bytes] : files) {
            digest.addData(name.toUtf8());
            digest.addData(bytes);
            raw += bytes.size();
        }
        std::printf("%-8d %16.3f %8lld %10.0f  %s\n", n, best, qlonglong(files.size()), raw / 1024.0,
                    digest.result().toHex().left(16).constData());
        std::fflush(stdout);
    }
    return 0;
}
