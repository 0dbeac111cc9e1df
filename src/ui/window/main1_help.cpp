// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the ヘルプ menu.
#include "ui/main1.h"

#include "settings/links.h"
#include "ui/helpform.h"
#include "ui/interaction.h"

#include <QAction>

namespace qadora {

void main1::setumei_Click()
{
    if (!m_help)
        m_help = new helpform(this);
    m_help->show();
    m_help->raise();
}

QWidget* main1::helpWindow() const
{
    return m_help;
}

void main1::openLink(const QUrl& url)
{
    if (!m_interaction->ask(QStringLiteral("インターネット接続"),
                            QStringLiteral("\nインターネットに接続していますか？\n")))
        return;
    if (!m_interaction->openUrl(url))
        notice(QStringLiteral("ブラウザを起動できませんでした") + QLatin1Char('\r') + url.toString());
}

void main1::sakusya_Click()
{
    openLink(homePageUrl());
}

void main1::hpsamp_Click()
{
    openLink(samplePageUrl());
}

void main1::aabout_Click()
{
    m_interaction->information(versionText());
}

void main1::connectHelp()
{
    connect(setumei, &QAction::triggered, this, &main1::setumei_Click);
    connect(sakusya, &QAction::triggered, this, &main1::sakusya_Click);
    connect(hpsamp, &QAction::triggered, this, &main1::hpsamp_Click);
    connect(aabout, &QAction::triggered, this, &main1::aabout_Click);
}

} // namespace qadora
