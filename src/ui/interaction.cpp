// SPDX-License-Identifier: GPL-3.0-or-later
#include "interaction.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace qadora {

namespace {

// The program's messages join their lines with CR alone, which a message box would not break.
QString shown(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// A message box that shows its text as plain text, whatever it holds ("<b>", "<br>" are
// answers' own markup and must be read as typed), and that fits the screen: a long text
// scrolls while the buttons stay in reach.
int showMessage(QWidget* parent, QStyle::StandardPixmap icon, const QString& title, const QString& text,
                QDialogButtonBox::StandardButtons buttons, bool defaultNo = false)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(title);

    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("messageText"));
    label->setTextFormat(Qt::PlainText);
    label->setText(shown(text));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("messageScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(label);
    scroll->setBackgroundRole(QPalette::Window);

    auto* row = new QHBoxLayout;
    if (icon != QStyle::SP_CustomBase) {
        auto* iconLabel = new QLabel;
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        iconLabel->setPixmap(box.style()->standardIcon(icon, nullptr, &box).pixmap(size, size));
        iconLabel->setAlignment(Qt::AlignTop);
        row->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    row->addWidget(scroll, 1);

    auto* buttonBox = new QDialogButtonBox(buttons);
    buttonBox->setCenterButtons(buttons == QDialogButtonBox::Ok);
    QObject::connect(buttonBox, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* b) {
        box.done(buttonBox->standardButton(b));
    });
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(row, 1);
    layout->addWidget(buttonBox);

    // At most 1024×768 (and the screen), less the frame: the box never outgrows a small screen.
    QRect room(0, 0, 1024, 768);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        room = room.intersected(screen->availableGeometry().translated(-screen->availableGeometry().topLeft()));
    // As wide as the longest line, so that a sentence breaks only where the text does, up to
    // three quarters of the screen; beyond that lines wrap, and beyond two thirds of the
    // screen's height the text scrolls.
    const QFontMetrics metrics = label->fontMetrics();
    int longest = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        longest = qMax(longest, metrics.horizontalAdvance(line));
    const int textWidth = qBound(200, longest + 4, room.width() * 3 / 4);
    const int textHeight = qMin(label->heightForWidth(textWidth), room.height() * 2 / 3);
    scroll->setMinimumSize(textWidth + scroll->verticalScrollBar()->sizeHint().width(),
                           qMax(textHeight, metrics.height()));
    box.setMaximumSize(room.size() - QSize(32, 64));

    QPushButton* preferred = buttonBox->button(buttons & QDialogButtonBox::Yes
                                                   ? (defaultNo ? QDialogButtonBox::No : QDialogButtonBox::Yes)
                                                   : QDialogButtonBox::Ok);
    preferred->setDefault(true);
    preferred->setFocus();
    box.resize(box.minimumSizeHint());
    const int result = box.exec();
    return result == QDialog::Rejected ? int(buttons & QDialogButtonBox::No ? QDialogButtonBox::No : QDialogButtonBox::Ok)
                                       : result;
}

} // namespace

// A progress dialog that appears once the work has taken half a second, and is updated at
// most every 50 ms so that the work itself is not slowed. It shows itself (QProgressDialog's
// own timer could bring it up over a message box, where it would take the message's keys).
class DialogProgress final : public Progress {
public:
    DialogProgress(QWidget* parent, const QString& label, int total, std::shared_ptr<QList<DialogProgress*>> all)
        : m_dialog(label, QCoreApplication::translate("QPlatformTheme", "Cancel"), 0, total, parent)
        , m_all(std::move(all))
    {
        m_dialog.setObjectName(QStringLiteral("progress"));
        m_dialog.setWindowTitle(QApplication::applicationDisplayName());
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(std::numeric_limits<int>::max());
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
        m_started.start();
        m_sinceUpdate.start();
        m_showTimer.setSingleShot(true);
        QObject::connect(&m_showTimer, &QTimer::timeout, &m_dialog, [this] { showIfDue(); });
        m_showTimer.start(kShowAfter);
        m_all->append(this);
    }
    ~DialogProgress() override { m_all->removeAll(this); }
    DialogProgress(const DialogProgress&) = delete;
    DialogProgress& operator=(const DialogProgress&) = delete;

    void setTotal(int total) override { m_dialog.setMaximum(total); }
    void setLabel(const QString& label) override { m_dialog.setLabelText(label); }

    bool advance(int done) override
    {
        // Work that goes on after a message brings its box back.
        m_aside = false;
        showIfDue();
        if (m_sinceUpdate.elapsed() >= 50 || done >= m_dialog.maximum()) {
            m_sinceUpdate.restart();
            m_dialog.setValue(qMin(done, m_dialog.maximum() > 0 ? m_dialog.maximum() : done));
            if (m_dialog.isVisible())
                QCoreApplication::processEvents(); // repaints, and hears Cancel
        }
        return !m_dialog.wasCanceled();
    }

    // Before a message: the box goes, so the message is alone on top and takes the keys. It
    // comes back only if the work then goes on; a finished piece of work never shows it again.
    void stepAside()
    {
        m_aside = true;
        m_dialog.hide();
    }

private:
    static constexpr int kShowAfter = 500;

    void showIfDue()
    {
        if (m_aside || m_dialog.isVisible() || m_started.elapsed() < kShowAfter)
            return;
        m_dialog.show();
        m_dialog.raise();
    }

    QProgressDialog m_dialog;
    std::shared_ptr<QList<DialogProgress*>> m_all;
    QTimer m_showTimer;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceUpdate;
    bool m_aside = false;
};

namespace {

class NoProgress final : public Progress {
public:
    void setTotal(int) override {}
    bool advance(int) override { return true; }
};

} // namespace

void QtInteraction::closeProgresses()
{
    for (DialogProgress* p : std::as_const(*m_progresses))
        p->stepAside();
}

QtInteraction::QtInteraction(QWidget* parent)
    : m_parent(parent)
    , m_progresses(std::make_shared<QList<DialogProgress*>>())
{
}

void QtInteraction::notice(const QString& text)
{
    closeProgresses();
    showMessage(m_parent, QStyle::SP_CustomBase, QApplication::applicationDisplayName(), text, QDialogButtonBox::Ok);
}

void QtInteraction::information(const QString& text)
{
    closeProgresses();
    showMessage(m_parent, QStyle::SP_MessageBoxInformation, QApplication::applicationDisplayName(), text,
                QDialogButtonBox::Ok);
}

bool QtInteraction::ask(const QString& title, const QString& text, Icon icon, bool defaultNo)
{
    closeProgresses();
    return showMessage(m_parent, icon == Icon::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_CustomBase, title,
                       text, QDialogButtonBox::Yes | QDialogButtonBox::No, defaultNo)
        == QDialogButtonBox::Yes;
}

std::optional<QString> QtInteraction::password(const QString& title, const QString& text)
{
    closeProgresses();
    QDialog box(m_parent);
    box.setObjectName(QStringLiteral("passwordBox"));
    box.setWindowTitle(title);
    auto* label = new QLabel(shown(text));
    label->setTextFormat(Qt::PlainText);
    auto* edit = new QLineEdit;
    edit->setObjectName(QStringLiteral("passwordText"));
    edit->setEchoMode(QLineEdit::Password);
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    edit->setMinimumWidth(320);
    edit->setFocus();
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->text();
}

QString QtInteraction::saveFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    closeProgresses();
    // The program asks about overwriting itself, in its own words. Qt's own dialog speaks the
    // program's language whatever the desktop's.
    return QFileDialog::getSaveFileName(m_parent, QString(), QDir(dir).filePath(fileName), toQtFilter(filter),
                                        nullptr, QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
}

QString QtInteraction::openFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    closeProgresses();
    return QFileDialog::getOpenFileName(m_parent, QString(), QDir(dir).filePath(fileName), toQtFilter(filter), nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString QtInteraction::directory(const QString& dir)
{
    closeProgresses();
    // The desktop's own chooser (a portal or the platform theme's), where there is one.
    return QFileDialog::getExistingDirectory(m_parent, QStringLiteral("フォルダの選択"), dir, QFileDialog::ShowDirsOnly);
}

QString QtInteraction::clipboardText()
{
    return QApplication::clipboard()->text();
}

void QtInteraction::setClipboardText(const QString& text)
{
    QApplication::clipboard()->clear();
    QApplication::clipboard()->setText(text);
}

bool QtInteraction::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

std::unique_ptr<Progress> QtInteraction::startProgress(const QString& label, int total)
{
    return std::make_unique<DialogProgress>(m_parent, label, total, m_progresses);
}

std::unique_ptr<Progress> QuietInteraction::startProgress(const QString&, int)
{
    return std::make_unique<NoProgress>();
}

QString toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // "*.*" means every file; here it would hide the files whose names have no dot.
        for (QString& pattern : patterns) {
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace qadora
