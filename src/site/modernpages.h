// SPDX-License-Identifier: GPL-3.0-or-later
// The modern style's pages: UTF-8 HTML documents with one structure everywhere (a header with
// the site's title and search box, a breadcrumb, one h1, main and a footer), the stylesheet
// the build writes, Open Graph and schema.org data, and the site's sitemap. The record's
// markup is balanced first (htmlbalance.h), so every page stays a valid document.
#pragma once

#include "pages.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <memory>

namespace qadora {

inline const QString kModernStyleSheet = QStringLiteral("qadora.css");
inline const QString kOwnStyleSheet = QStringLiteral("site.css"); // the owner's, linked when present, never written
inline const QString kModernIcon = QStringLiteral("qadora-icon.svg");
inline const QString kSearchPage = QStringLiteral("search.html");
inline const QString kSitemap = QStringLiteral("sitemap.xml");
inline const QString kRobots = QStringLiteral("robots.txt");

// The parts of pages that a run repeats on every page, made once a run (modernpages.cpp).
struct ModernParts;
std::shared_ptr<ModernParts> newModernParts();

// What a modern page needs to know about the folder it goes into.
struct ModernContext {
    bool ownStyleSheet = false; // site.css is there: linked after ours
    std::shared_ptr<ModernParts> parts = newModernParts();
};

struct ModernQaPage {
    QByteArray bytes;
    QString questionText; // what the reader sees of the question and the answer
    QString answerText;
};
ModernQaPage modernQaPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                          const QString& atext, const QString& btext, const QString& backFile, const QString& kindTitle);

struct ModernKind {
    QString file;
    QString title;
};
QByteArray modernIndexPage(const PageStyle& style, const ModernContext& context, const QList<ModernKind>& kinds);
QByteArray modernSubIndexPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                              const QString& tit, const QStringList& questions, const QStringList& numbers);
// The search page loads the script and the index's first file by these addresses, which
// change with their content (versionedLink), so a browser never runs a stale copy.
QByteArray modernSearchPage(const PageStyle& style, const ModernContext& context, const QString& scriptLink,
                            const QString& metaLink);

QByteArray modernStyleSheet();
// The rules of the search page's results, which that page holds itself.
QByteArray modernSearchStyle();
QByteArray modernIcon();
// Every page by its file name, at the site's address (which must be set).
QByteArray sitemap(const QString& siteAddress, const QStringList& pages);
QByteArray robots(const QString& siteAddress);

// The site's address as pages link to it, ending in "/"; empty when none is set.
QString normalizedSiteAddress(const QString& address);
inline const QString kSiteAddressMessage =
    QStringLiteral("サイトのアドレスは http:// か https:// で始まるアドレスにして下さい");
// Why the address cannot stand before every page's link, in robots.txt and the sitemap: the
// message above; empty for no address or a whole http(s) one.
QString siteAddressProblem(const QString& address);
// A file name as a link to it: percent-encoded where a URL needs it.
QString linkTo(const QString& fileName);
// A file's link that changes with its content ("name?v=…"): a browser's cached copy of an
// older one is never used for it.
QString versionedLink(const QString& fileName, const QByteArray& bytes);
QString contentVersion(const QByteArray& bytes);
// A JSON string literal that is safe inside HTML and JavaScript ("<", ">", "&" escaped).
QString jsonString(const QString& text);

} // namespace qadora
