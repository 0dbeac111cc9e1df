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

// One remembered control: how it shows its setting, how it reads it back, and what it says
// when the user changed it.
struct SiteControl {
    std::function<void(const SiteSettings&)> show;
    std::function<void(SiteSettings&)> read;
    std::function<void(QObject* context, const std::function<void()>&)> onEdited;
};

using TextField = QString& (*)(SiteSettings&);
using FlagField = bool& (*)(SiteSettings&);

SiteControl text(QLineEdit* edit, TextField field)
{
    return {[=](const SiteSettings& s) { edit->setText(field(const_cast<SiteSettings&>(s))); },
            [=](SiteSettings& s) { field(s) = edit->text(); },
            [=](QObject* context, const std::function<void()>& edited) { QObject::connect(edit, &QLineEdit::editingFinished, context, edited); }};
}

SiteControl check(QCheckBox* box, FlagField field)
{
    return {[=](const SiteSettings& s) { box->setChecked(field(const_cast<SiteSettings&>(s))); },
            [=](SiteSettings& s) { field(s) = box->isChecked(); },
            [=](QObject* context, const std::function<void()>& edited) { QObject::connect(box, &QCheckBox::toggled, context, edited); }};
}

// Two option buttons for one setting: `on` is chosen while it is true, `off` otherwise.
SiteControl choice(QRadioButton* on, QRadioButton* off, FlagField field)
{
    return {[=](const SiteSettings& s) { (field(const_cast<SiteSettings&>(s)) ? on : off)->setChecked(true); },
            [=](SiteSettings& s) { field(s) = on->isChecked(); },
            [=](QObject* context, const std::function<void()>& edited) { QObject::connect(on, &QRadioButton::toggled, context, edited); }};
}

// A third option button with a setting of its own: chosen while it is true.
SiteControl chosen(QRadioButton* button, FlagField field)
{
    return {[=](const SiteSettings& s) { if (field(const_cast<SiteSettings&>(s))) button->setChecked(true); },
            [=](SiteSettings& s) { field(s) = button->isChecked(); },
            [=](QObject* context, const std::function<void()>& edited) { QObject::connect(button, &QRadioButton::toggled, context, edited); }};
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

void main1::connectSiteSettings()
{
    for (const SiteControl& c : siteControls(*this))
        c.onEdited(this, [this] { rememberShownSiteSettings(); });
}

SiteSettings main1::shownSiteSettings()
{
    SiteSettings s;
    for (const SiteControl& c : siteControls(*this))
        c.read(s);
    return s;
}

void main1::rememberShownSiteSettings()
{
    // Only what the user changed is remembered: a folder merely looked at stays unused.
    if (m_showingSiteSettings || m_siteFolder.isEmpty())
        return;
    const SiteSettings now = shownSiteSettings();
    if (now == *m_siteShown)
        return;
    rememberSiteSettings(m_siteFolder, now);
    *m_siteShown = now;
}

void main1::showSiteSettingsOf(const QString& folder)
{
    rememberShownSiteSettings(); // of the folder left
    m_siteFolder = folder;
    // A folder never used starts from the first values.
    *m_siteShown = rememberedSiteSettings(folder).value_or(SiteSettings{});
    m_showingSiteSettings = true;
    for (const SiteControl& c : siteControls(*this))
        c.show(*m_siteShown);
    m_showingSiteSettings = false;
}

} // namespace qadora
