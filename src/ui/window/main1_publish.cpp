// SPDX-License-Identifier: GPL-3.0-or-later
// main1: ファイル → サイトの公開…, publishing the output folder to a web server.
#include "ui/main1.h"

#include "ui/publishdialog.h"

#include <QAction>

namespace qadora {

void main1::koukai_Click()
{
    PublishDialog dialog(outputDir(), m_interaction, this);
    dialog.exec();
}

void main1::connectPublish()
{
    connect(koukai, &QAction::triggered, this, &main1::koukai_Click);
}

} // namespace qadora
