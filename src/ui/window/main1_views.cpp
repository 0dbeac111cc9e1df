// SPDX-License-Identifier: GPL-3.0-or-later
// main1: kind lists, record listings and the display tab.
#include "ui/main1.h"

#include "ui/interaction.h"
#include "ui/recordsearch.h"
#include "store/kindstring.h"
#include "views/listings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace qadora {

namespace {

void fill(QListWidget* list, const QStringList& lines)
{
    list->clear();
    list->addItems(lines);
}

} // namespace

Listing main1::listWithProgress(int n, const std::optional<QString>& kind, LineFormat format)
{
    // A small table is listed before any progress could show.
    if (n < 2000)
        return listRecords(m_dbPath, n, kind, format);
    const std::unique_ptr<Progress> progress = m_interaction->startProgress(QStringLiteral("一覧を作成しています…"), n);
    return listRecords(m_dbPath, n, kind, format, [&](int visited) { return progress->advance(visited); });
}

int main1::countForListing()
{
    const int n = kensu();
    if (n <= 0)
        notice(kNoRecordsMessage);
    return n;
}

void main1::dbdispk(QComboBox* acomb)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0)
        return;
    const KindListing listing = listKinds(m_dbPath, n);
    acomb->clear();
    acomb->addItems(listing.kinds);
    if (!listing.kinds.isEmpty())
        acomb->setEditText(listing.kinds.first());
    if (!listing.status.ok())
        notice(listing.status.message);
}

void main1::dbdispl(QListWidget* alist)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0) {
        alist->clear();
        return;
    }
    const KindListing listing = listKinds(m_dbPath, n);
    fill(alist, listing.kinds); // nothing selected: the user picks a kind
    if (!listing.status.ok())
        notice(listing.status.message);
}

void main1::hyoujisel(QListWidget* alist, QLabel* blabel, const QString& ctext)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0)
        return;
    const Listing listing = listWithProgress(n, ctext, LineFormat::QuestionWithNumber);
    if (listing.cancelled)
        return;
    fill(alist, listing.visible);
    fill(List5, listing.companion);
    if (!listing.status.ok()) {
        notice(listing.status.message);
        return;
    }
    blabel->setText(QString::number(listing.matched));
}

void main1::hyouji(QListWidget* alist, QLabel* blabel)
{
    std::optional<QString> kind;
    if (Check3->isChecked()) {
        if (List12->count() == 0) {
            notice(kShowKindsMessage);
            return;
        }
        QListWidgetItem* selected = List12->currentItem();
        if (!selected || !selected->isSelected()) {
            notice(kChooseKindMessage);
            return;
        }
        kind = selected->text();
    }
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0)
        return;
    const Listing listing = listWithProgress(n, kind, LineFormat::Question);
    if (listing.cancelled)
        return;
    fill(alist, listing.visible);
    if (!listing.status.ok())
        notice(listing.status.message);
    else
        blabel->setText(QString::number(listing.matched));
    m_search->listed(alist, listing, listing.status.ok());
}

void main1::hyouji2(QListWidget* alist, QLabel* blabel)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0)
        return;
    const Listing listing = listWithProgress(n, std::nullopt, LineFormat::Question);
    if (listing.cancelled)
        return;
    blabel->setText(QString::number(n));
    fill(alist, listing.visible);
    if (!listing.status.ok())
        notice(listing.status.message);
}

void main1::dbdisps(QLabel* alabel, QListWidget* blist)
{
    hyouji2(blist, alabel);
}

void main1::hyoujisel2(QListWidget* alist, QLabel* blabel, const QString& ctext, QListWidget* dlist)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0)
        return;
    const Listing listing = listWithProgress(n, ctext, LineFormat::Summary);
    if (listing.cancelled)
        return;
    fill(alist, listing.visible);
    fill(dlist, listing.companion);
    if (listing.stoppedAtMalformedKind)
        notice(kMalformedKindMessage);
    else if (!listing.status.ok())
        notice(listing.status.message);
    else
        blabel->setText(QString::number(listing.matched));
    m_search->listed(alist, listing, !listing.stoppedAtMalformedKind && listing.status.ok());
}

void main1::hyoujiall(QListWidget* alist, QLabel* blabel, QListWidget* blist)
{
    const ReadSnapshot snapshot(m_dbPath); // the count and the walk see the same records
    const int n = countForListing();
    if (n <= 0) {
        alist->clear();
        return;
    }
    const Listing listing = listWithProgress(n, std::nullopt, LineFormat::Summary);
    if (listing.cancelled)
        return;
    blabel->setText(QString::number(n));
    fill(alist, listing.visible);
    fill(blist, listing.companion);
    if (listing.stoppedAtMalformedKind)
        notice(kMalformedKindMessage);
    else if (!listing.status.ok())
        notice(listing.status.message);
    m_search->listed(alist, listing, true);
}

void main1::Command17_Click()
{
    dbdispl(List8);
}

void main1::Command18_Click()
{
    if (Option1->isChecked()) {
        hyoujiall(List9, Label24, List10);
        return;
    }
    if (List8->count() == 0) {
        notice(kShowKindsMessage);
        return;
    }
    QListWidgetItem* selected = List8->currentItem();
    if (!selected || !selected->isSelected()) {
        notice(kChooseKindMessage);
        return;
    }
    hyoujisel2(List9, Label24, selected->text(), List10);
}

void main1::List9_DblClick()
{
    m_search->settle(); // List10 complete beside a list the search just narrowed
    const int row = List9->currentRow();
    if (row < 0 || row >= List10->count())
        return;
    notice(List10->item(row)->text());
}

void main1::Command13_Click()
{
    hyouji2(List4, Label9);
}

void main1::connectViews()
{
    connect(Command17, &QPushButton::clicked, this, &main1::Command17_Click);
    connect(Command18, &QPushButton::clicked, this, &main1::Command18_Click);
    connect(List9, &QListWidget::itemDoubleClicked, this, &main1::List9_DblClick);
    connect(Command13, &QPushButton::clicked, this, &main1::Command13_Click);
}

} // namespace qadora
