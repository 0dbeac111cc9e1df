// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the html tab's settings, remembered per output folder, so that a site is built the
// same way after a restart or a switch of databases.
#include "ui/main1.h"

#include "settings/sitesettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include <functional>

namespace qadora {

namespace {

// One remembered control: how it shows its setting and how it reads it back.
struct SiteControl {
    std::function<void(const SiteSettings&)> show;
    std::function<void(SiteSettings&)> read;
};

using TextField = QString& (*)(SiteSettings&);
using FlagField = bool& (*)(SiteSettings&);

SiteControl text(QLineEdit* edit, TextField field)
{
    return {[=](const SiteSettings& s) { edit->setText(field(const_cast<SiteSettings&>(s))); },
            [=](SiteSettings& s) { field(s) = edit->text(); }};
}

SiteControl check(QCheckBox* box, FlagField field)
{
    return {[=](const SiteSettings& s) { box->setChecked(field(const_cast<SiteSettings&>(s))); },
            [=](SiteSettings& s) { field(s) = box->isChecked(); }};
}

// Two option buttons for one setting: `on` is chosen while it is true, `off` otherwise.
SiteControl choice(QRadioButton* on, QRadioButton* off, FlagField field)
{
    return {[=](const SiteSettings& s) { (field(const_cast<SiteSettings&>(s)) ? on : off)->setChecked(true); },
            [=](SiteSettings& s) { field(s) = on->isChecked(); }};
}

// A third option button with a setting of its own: chosen while it is true.
SiteControl chosen(QRadioButton* button, FlagField field)
{
    return {[=](const SiteSettings& s) { if (field(const_cast<SiteSettings&>(s))) button->setChecked(true); },
            [=](SiteSettings& s) { field(s) = button->isChecked(); }};
}

} // namespace

// Every remembered control of the html tab, one line each.
static QList<SiteControl> siteControls(const main1& w)
{
    return {
        text(w.Text8, [](SiteSettings& s) -> QString& { return s.indexName; }),
        text(w.Text15, [](SiteSettings& s) -> QString& { return s.index.title; }),
        text(w.Text12, [](SiteSettings& s) -> QString& { return s.index.returnUrl; }),
        text(w.Text10, [](SiteSettings& s) -> QString& { return s.index.returnLabel; }),
        choice(w.Option6, w.Option5, [](SiteSettings& s) -> bool& { return s.index.style.frameless; }),
        check(w.Check2, [](SiteSettings& s) -> bool& { return s.index.style.bigTitle; }),
        check(w.Check5, [](SiteSettings& s) -> bool& { return s.index.style.viewport; }),
        // After the two older styles' buttons: shown chosen over them when remembered.
        chosen(w.Option7, [](SiteSettings& s) -> bool& { return s.index.style.modern; }),
        text(w.siteAddress, [](SiteSettings& s) -> QString& { return s.index.style.siteAddress; }),
    };
}

SiteSettings main1::shownSiteSettings()
{
    SiteSettings s;
    for (const SiteControl& c : siteControls(*this))
        c.read(s);
    return s;
}

void main1::rememberShownSiteSettings(bool built)
{
    // What the tab shows is remembered when a site is built, when the window closes and when a
    // folder with settings of its own is chosen; never as it is typed, since what is typed may
    // be meant for the folder about to be chosen.
    if (m_siteFolder.isEmpty())
        return;
    const SiteSettings now = shownSiteSettings();
    if (!m_siteOwn) {
        // A folder merely looked at stays unused.
        if (now == SiteSettings{} && !built)
            return;
        rememberSiteSettings(m_siteFolder, now);
    } else if (now != *m_siteShown) {
        rememberSiteSettingChanges(m_siteFolder, *m_siteShown, now);
    }
    m_siteOwn = true;
    *m_siteShown = now;
}

void main1::showSiteSettingsOf(const QString& folder)
{
    const std::optional<SiteSettings> own = rememberedSiteSettings(folder);
    const bool first = m_siteFolder.isEmpty();
    if (!own && !first) {
        // A folder never used takes what the tab shows, typed values too, and keeps it once
        // remembered; the folder left keeps what it had.
        m_siteFolder = folder;
        m_siteOwn = false;
        return;
    }
    if (!first)
        rememberShownSiteSettings(); // what was typed stays with the folder it was typed for
    m_siteFolder = folder;
    m_siteOwn = own.has_value();
    *m_siteShown = own.value_or(SiteSettings{});
    for (const SiteControl& c : siteControls(*this))
        c.show(*m_siteShown);
}

} // namespace qadora
