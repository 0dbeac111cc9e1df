// SPDX-License-Identifier: GPL-3.0-or-later
// main1: ファイル → サイトの公開…, publishing the output folder to a web server, and
// ファイル → 作成して公開, "ＨＰ作成" and then the publish to the remembered address in one step.
#include "ui/main1.h"

#include "ui/interaction.h"
#include "ui/publishdialog.h"
#include "ui/publishpassword.h"

#include <QAction>

namespace qadora {

void main1::koukai_Click()
{
    PublishDialog dialog(outputDir(), m_interaction, this);
    dialog.exec();
}

void main1::buildPublish_Click()
{
    PublishOptions options = rememberedPublishOptions(outputDir());
    if (options.url.isEmpty()) {
        // Nowhere to publish yet: the dialog asks where.
        koukai_Click();
        return;
    }
    const std::unique_ptr<Progress> progress = m_interaction->startProgress(QStringLiteral("ページを作成しています…"), 0);
    if (!buildSite(progress.get()))
        return; // the run said why
    // Asked once the pages are made (a run refused asks nothing); Escape publishes nothing.
    if (!obtainPublishPassword(&options, m_interaction))
        return;
    PublishResult result = publishWithProgress(options, progress.get(), m_interaction);
    // SFTP's keys were not enough, or the server wants a password for a user we took for anonymous.
    if (result.problem == PublishResult::Login && options.password.isEmpty() && !options.url.userName().isEmpty()
        && askPublishPassword(&options, m_interaction))
        result = publishWithProgress(options, progress.get(), m_interaction);
    notePublishLogin(options, result);
    notice(publishResultText(result));
}

void main1::connectPublish()
{
    connect(koukai, &QAction::triggered, this, &main1::koukai_Click);
    connect(buildPublish, &QAction::triggered, this, &main1::buildPublish_Click);
}

} // namespace qadora
