// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboardcommands.h"

#include "app/dialogs.h"
#include "data/datafile.h"

#include <QClipboard>
#include <QGuiApplication>
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

} // namespace clipcmd
