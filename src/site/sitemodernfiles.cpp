// SPDX-License-Identifier: GPL-3.0-or-later
// The files a modern run writes besides its pages: the stylesheet, the icon, the search page
// and its index, the sitemap and robots.txt.
#include "sitegeneration.h"
#include "siterun_p.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <optional>
#include <thread>

namespace qadora {

// On two threads: the search files are a thousand and more. As the pages are, a name the
// folder did not hold is written without a temporary name to rename, so a new site's files
// change the folder once each. Files are taken in order, so that all before the first that
// failed were written.
std::vector<FileWritten> writeFiles(PageFolder& folder, const NamedFiles& files)
{
    std::vector<FileWritten> written(size_t(files.size()));
    std::atomic<qsizetype> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        while (!failed) {
            const qsizetype i = next++;
            if (i >= files.size())
                return;
            FileWritten& w = written[size_t(i)];
            w.outcome = folder.write(files[i].first, files[i].second, &w.failure);
            if (w.outcome == PageWrite::Failed)
                failed = true;
            else
                w.hash = pageHash(files[i].second);
        }
    };
    std::thread helper;
    if (files.size() > 16)
        helper = std::thread(work);
    work();
    if (helper.joinable())
        helper.join();
    return written;
}

NamedFiles SiteRun::siteAddressFiles(QStringList pages) const
{
    const Modern& modern = *m_modern;
    NamedFiles files;
    if (normalizedSiteAddress(modern.style.siteAddress).isEmpty())
        return files;
    pages.removeDuplicates();
    // A sitemap or robots.txt of the owner's own stays as it is. (The manifest is read only
    // when there is one: a new folder has neither.)
    std::optional<QSet<QString>> ours;
    for (const QString& name : {kSitemap, kRobots}) {
        if (QFileInfo::exists(joinPath(m_outDir, name))) {
            if (!ours)
                ours = pagesWrittenInto(m_outDir);
            if (!ours->contains(name))
                continue;
        }
        files.append({name, name == kSitemap ? sitemap(modern.style.siteAddress, pages) : robots(modern.style.siteAddress)});
    }
    return files;
}

void SiteRun::writeModernFiles(Recording& r)
{
    Modern& modern = *m_modern;
    NamedFiles files = {
        {kModernStyleSheet, modernStyleSheet()},
        {kModernIcon, modernIcon()},
    };
    NamedFiles search;
    if (modern.search.valid())
        search = modern.search.get();
    if (search.isEmpty()) // none started, or one of other figures than the records gave
        search = searchFiles(modern.kinds, modern.documents);
    QString scriptLink, metaLink;
    for (const auto& [name, bytes] : search) {
        if (name == kSearchScript)
            scriptLink = versionedLink(name, bytes);
        else if (name == kSearchMeta)
            metaLink = versionedLink(name, bytes);
    }
    files.append({kSearchPage, modernSearchPage(modern.style, modern.context, scriptLink, metaLink)});
    files += search;
    files += r.siteFiles.get(); // the sitemap and robots.txt after the others
    r.modernOutcomes = writeFiles(*m_folder, files);
    r.modernFiles = std::move(files);
    r.modernWritten = true;
}

bool SiteRun::takeModernFiles(Recording& r, QString* error)
{
    for (qsizetype i = 0; i < r.modernFiles.size(); ++i) {
        const auto& [name, bytes] = r.modernFiles[i];
        const FileWritten& w = r.modernOutcomes[size_t(i)];
        if (w.outcome == PageWrite::Failed) {
            *error = writeFailureMessage(joinPath(m_outDir, name), w.failure);
            return false;
        }
        m_pages << name;
        m_sums.insert(name, {bytes.size(), w.hash});
        ++(w.outcome == PageWrite::Written ? m_extras.written : m_extras.unchanged);
    }
    return true;
}

bool writeModernPreviewFiles(const QString& previewDir, const QString& siteDir, QString* error)
{
    NamedFiles files = {{kModernStyleSheet, modernStyleSheet()}, {kModernIcon, modernIcon()}};
    if (!siteDir.isEmpty()) {
        QFile own(joinPath(siteDir, kOwnStyleSheet));
        if (own.open(QIODevice::ReadOnly))
            files.append({kOwnStyleSheet, own.readAll()});
    }
    for (const auto& [name, bytes] : std::as_const(files)) {
        const QString path = joinPath(previewDir, name);
        QString failure;
        if (writePage(path, bytes, &failure) == PageWrite::Failed) {
            *error = writeFailureMessage(path, failure);
            return false;
        }
    }
    return true;
}

} // namespace qadora
