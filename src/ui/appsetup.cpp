// SPDX-License-Identifier: GPL-3.0-or-later
#include "appsetup.h"

#include "platform/platform.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qadora {

namespace {

QFont firstInstalled(const QStringList& families, QFont fallback)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family)) {
            fallback.setFamilies({family});
            return fallback;
        }
    }
    return fallback;
}

} // namespace

QFont interfaceFont()
{
    return firstInstalled(platform::interfaceFontFamilies(), QApplication::font());
}

QFont diagramFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(QApplication::font().pointSizeF());
    return firstInstalled(platform::fixedFontFamilies(), font);
}

void setUpJapanese(QApplication& app)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    auto* translator = new QTranslator(&app);
    if (translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    QApplication::setFont(interfaceFont());
}

} // namespace qadora
