// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of the three kinds of page. Values are inserted as they are, without HTML
// escaping: stored markup such as "<br>" is meant to take effect.
#pragma once

#include <QStringList>

#include <optional>

namespace qadora {

struct PageStyle {
    bool frameless = true; // the <hr> style for mobile browsers; otherwise tables
    bool bigTitle = false; // bigger headings in the framed style
    bool viewport = false; // a viewport line after the META line: phones show the page at their width
    bool modern = false;   // UTF-8 pages with one stylesheet, structured data and a search of the site
    QString siteAddress{}; // modern: where the site is published, for canonical links and the sitemap

    // What a modern page shows around its content, filled in at the moment of writing
    // (withSiteFrame); the older styles read none of it.
    QString siteTitle{};
    QString indexName{};
    QString returnUrl{};
    QString returnLabel{};

    bool operator==(const PageStyle&) const = default;
};

// "qa" + the leading number of `fnum` with at least three digits + ".html".
QString qaFileName(const QString& fnum);
// The leading decimal digits of a text as a number; 0 when there are none.
qint64 leadingNumber(const QString& text);

QStringList qaPage(const QString& atext, const QString& btext, const QString& back, const PageStyle& style);

struct IndexSettings {
    QString title;       // Text15
    QString returnUrl;   // Text12: a link only when longer than 10 characters
    QString returnLabel; // Text10: the style's default when empty
    PageStyle style;

    bool operator==(const IndexSettings&) const = default;
};

struct IndexPage {
    QStringList lines;
    // The first kind without a half-width comma: the page stops before it.
    std::optional<QString> malformedKind;
};
// The style with the site's title, index page and return link that a modern page shows.
PageStyle withSiteFrame(PageStyle style, const QString& indexName, const IndexSettings& settings);

IndexPage indexPage(const IndexSettings& settings, const QStringList& kinds);

QStringList subIndexPage(const QString& tit, const QString& indexName, const QStringList& questions,
                         const QStringList& numbers, const PageStyle& style);

} // namespace qadora
