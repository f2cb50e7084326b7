// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboardcommands.h"

#include "app/dialogs.h"
#include "app/settings.h"
#include "data/datafile.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>

namespace clipcmd {

QImage panelImage(QWidget *panel)
{
    if (!panel)
        return {};
    return panel->grab().toImage().convertToFormat(QImage::Format_RGB888);
}

void copyPanelImage(QWidget *panel)
{
    const QImage picture = panelImage(panel);
    if (!picture.isNull())
        QGuiApplication::clipboard()->setImage(picture);
}

bool copyRange(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from, qint64 to,
               clipexport::Form form, const QString &decSeparator)
{
    const clipexport::Range range = clipexport::bufferRange(buffer, from, to);
    if (range.empty())
        return false;
    if (range.needsConsent() &&
        !dialogs::AskYesNo(
            owner, caption,
            QStringLiteral("Too much data for SpreadSheet\n\nDo You want to continue?")))
        return false;
    QGuiApplication::clipboard()->setText(
        clipexport::rangeText(buffer, range, form, datafile::decimalSeparatorOf(decSeparator)));
    return true;
}

bool copyRangeAsValues(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from,
                       qint64 to, const QString &decSeparator)
{
    return copyRange(owner, caption, buffer, from, to, clipexport::Form::Complete, decSeparator);
}

bool copyRangeNumbersOnly(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from,
                          qint64 to, const QString &decSeparator)
{
    return copyRange(owner, caption, buffer, from, to, clipexport::Form::NumbersOnly, decSeparator);
}

void addGraphCopyItems(QMenu *data, QWidget *window, const BigAry &buffer, Selection selection,
                       QWidget *panel, const Settings &settings)
{
    auto item = [data](const char *name, const char *caption) {
        QAction *a = data->addAction(QLatin1String(caption));
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto copy = [window, &buffer, selection, &settings](clipexport::Form form) {
        const auto [from, to] = selection();
        copyRange(window, window->windowTitle(), buffer, from, to, form, settings.DecSeparator);
    };
    QObject::connect(item("copychartasvalues1", "copy chart as values"), &QAction::triggered,
                     window, [copy] { copy(clipexport::Form::Complete); });
    QObject::connect(item("copychartnumonly1", "copy chart num only"), &QAction::triggered, window,
                     [copy] { copy(clipexport::Form::NumbersOnly); });
    QObject::connect(item("Copycharttoimage1", "Copy chart to image"), &QAction::triggered, window,
                     [panel] { copyPanelImage(panel); });
}

} // namespace clipcmd
