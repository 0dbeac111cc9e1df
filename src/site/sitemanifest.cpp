// SPDX-License-Identifier: GPL-3.0-or-later
// The record of the pages runs wrote into a folder, for pruning.
#include "sitegeneration.h"
#include "siterun_p.h"
#include "store/wholefile.h"

#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <future>
#include <vector>

namespace qadora {

namespace {

// A manifest lists every page of a site, tens of thousands of lines, read and written by every
// run: it is parsed in place, and names that need no escaping are taken as they are.
QList<ManifestEntry> readManifest(const QString& path)
{
    QFile file(path);
    QList<ManifestEntry> entries;
    QByteArray bytes;
    // A manifest larger than any site's is not ours: it lists nothing to prune.
    if (!file.open(QIODevice::ReadOnly) || readAtMost(file, qint64(256) << 20, &bytes) != WholeRead::Ok)
        return entries;
    const QByteArray& all = bytes;
    const QByteArrayView text(all);
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        const QByteArrayView name = tab < 0 ? line : line.first(tab);
        ManifestEntry entry;
        entry.name = name.contains('%') ? QString::fromUtf8(QByteArray::fromPercentEncoding(name.toByteArray()))
                                        : QString::fromUtf8(name);
        if (tab >= 0) {
            const QByteArrayView rest = line.sliced(tab + 1);
            const qsizetype second = rest.indexOf('\t');
            const QByteArrayView hash = second < 0 ? QByteArrayView() : rest.sliced(second + 1);
            const bool known = hash.size() == kPageHashLength || hash.size() == kLegacyPageHashLength;
            if (second >= 0 && !hash.contains('\t') && known) {
                bool ok = false;
                entry.size = rest.first(second).toLongLong(&ok);
                entry.hash = ok ? hash.toByteArray() : QByteArray();
            }
        }
        entries << entry;
    }
    return entries;
}

// Appends `name` as QByteArray::toPercentEncoding() gives it, without its copies.
void appendPercentEncoded(QByteArray& bytes, const QString& name)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.' || u == '_'
            || u == '~') {
            bytes += c;
        } else {
            bytes += '%';
            bytes += hex[u >> 4];
            bytes += hex[u & 15];
        }
    }
}

QByteArray manifestBytes(const QList<ManifestEntry>& entries)
{
    QByteArray bytes;
    bytes.reserve(entries.size() * 96);
    for (const ManifestEntry& e : entries) {
        appendPercentEncoded(bytes, e.name);
        if (!e.hash.isEmpty()) {
            bytes += '\t';
            bytes += QByteArray::number(e.size);
            bytes += '\t';
            bytes += e.hash;
        }
        bytes += "\r\n";
    }
    return bytes;
}

// True when the regular file at `path` still holds what a run wrote there.
bool stillWritten(const QString& path, const ManifestEntry& entry)
{
    if (entry.hash.isEmpty() || !platform::isRegularFile(path) || QFileInfo(path).size() != entry.size)
        return false;
    QFile file(path);
    QByteArray bytes;
    return file.open(QIODevice::ReadOnly) && readAtMost(file, entry.size, &bytes) == WholeRead::Ok
        && isPageHash(entry.hash, bytes);
}

} // namespace

QString manifestPath(const QString& outDir)
{
    const QString canonical = QFileInfo(outDir).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? outDir : canonical).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    return platform::dataFolder() + QStringLiteral("/manifests/")
        + QString::fromLatin1(key) + QStringLiteral(".txt");
}

QSet<QString> pagesWrittenInto(const QString& outDir)
{
    QSet<QString> names;
    for (const ManifestEntry& e : readManifest(manifestPath(outDir)))
        names.insert(e.name);
    return names;
}

void SiteRun::prepareRecord()
{
    if (m_recording)
        return;
    m_recording = std::make_unique<Recording>();
    Recording& r = *m_recording;
    r.manifest = manifestPath(m_outDir);
    // The sitemap is made of the pages alone, on another core while this one lists them. It
    // gets its own copy of the list: the two threads never share the one instance.
    if (m_modern)
        r.siteFiles = std::async(std::launch::async, [this, pages = m_pages] { return siteAddressFiles(pages); });
    r.earlier = readManifest(r.manifest);
    // Room for the modern style's files too (a search file for about every ten records), so
    // that adding them never rehashes the pages' names.
    const qsizetype room = m_pages.size() + m_pages.size() / 8 + 2048;
    r.now.reserve(room);
    r.keep.reserve(room);
    r.list(m_pages);
    // The modern files go in while the writer still has pages, unless a page took a name of
    // theirs (only the index page can: every other name ends in ".html", and the search page
    // is refused), which the files are to replace after it. None is begun after a page failed.
    const bool pagesOnly = std::all_of(m_pages.cbegin(), m_pages.cend(), [](const QString& name) {
        return name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
    });
    if (m_modern && (!m_writer || (pagesOnly && !m_writer->m_failed)))
        writeModernFiles(r);
}

bool SiteRun::recordPages(bool prune, QString* error)
{
    prepareRecord();
    Recording& r = *m_recording;
    if (m_writer) {
        for (const Writer::Sum& s : m_writer->m_sums)
            r.sum(s.name, s.size, s.hash);
        m_writer->m_sums.clear();
    }
    if (m_modern) {
        if (!r.modernWritten)
            writeModernFiles(r);
        if (!takeModernFiles(r, error))
            return false;
    }
    r.list(m_pages);
    for (auto it = m_sums.cbegin(); it != m_sums.cend(); ++it)
        r.sum(it.key(), it->first, it->second);
    QList<ManifestEntry>& keep = r.keep;
    for (const ManifestEntry& entry : std::as_const(r.earlier)) {
        const QString& name = entry.name;
        if (r.now.contains(name))
            continue;
        // Only a plain page name of this folder, and only a regular file: what a run of ours
        // left there. A name written into the manifest by anyone else never leads elsewhere.
        const bool page = pageNameProblem(name).isEmpty() && name != QLatin1String(".") && name != QLatin1String("..");
        if (!page)
            continue;
        if (!prune) {
            keep << entry;
            continue;
        }
        const QString path = joinPath(m_outDir, name);
        if (platform::entryKind(path, platform::Links::NotFollowed) == platform::EntryKind::Missing)
            continue; // gone already
        if (entry.hash.isEmpty()) {
            keep << entry; // an older manifest's: which bytes were written is not known, so it stays
            continue;
        }
        // Only the very page a run wrote: a file of the same name that is not is the user's.
        if (!stillWritten(path, entry))
            continue;
        if (QFile::remove(path))
            ++m_removed;
        else
            keep << entry; // still there: a later prune may try again
    }
    QString writeError;
    if (!QDir().mkpath(QFileInfo(r.manifest).path())
        || writePage(r.manifest, manifestBytes(keep), &writeError) == PageWrite::Failed) {
        *error = writeFailureMessage(r.manifest, writeError);
        return false;
    }
    return true;
}

} // namespace qadora
