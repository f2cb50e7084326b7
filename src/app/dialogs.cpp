// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTranslator>

namespace dialogs {

namespace {
NoticeHandler &noticeHandler()
{
    static NoticeHandler h;
    return h;
}
QuestionHandler &questionHandler()
{
    static QuestionHandler h;
    return h;
}
SaveNameHandler &saveNameHandler()
{
    static SaveNameHandler h;
    return h;
}

QHash<QString, QString> &lastFolders()
{
    static QHash<QString, QString> folders;
    return folders;
}

QString dialogKey(const QWidget *owner, const QString &title)
{
    return QLatin1String(owner ? owner->metaObject()->className() : "") + QLatin1Char('|') + title;
}

// Runs the dialog from the folder it last took; remembers the folder it takes now.
QString runFileDialog(QFileDialog &dlg, const QString &key, const QString &proposed,
                      const QStringList &filters, int *filterIndex)
{
    const QFileInfo proposal(proposed);
    QString folder = lastFolders().value(key);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::cleanPath(proposed.contains(QLatin1Char('/')) ? proposal.path()
                                                                     : QDir::homePath());
        // A data folder not made yet: made for a save, its nearest existing parent for
        // an open.
        if (dlg.acceptMode() == QFileDialog::AcceptSave)
            QDir().mkpath(folder);
        while (!QDir(folder).exists() && QFileInfo(folder).path() != folder)
            folder = QFileInfo(folder).path();
    }
    dlg.setDirectory(folder);
    dlg.setNameFilters(filters);
    const int index = filterIndex ? *filterIndex : 1;
    if (index >= 1 && index <= filters.size())
        dlg.selectNameFilter(filters[index - 1]);
    if (!proposal.fileName().isEmpty())
        dlg.selectFile(proposal.fileName());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    if (filterIndex)
        *filterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
    const QString chosen = dlg.selectedFiles().first();
    lastFolders().insert(key, QFileInfo(chosen).absolutePath());
    return chosen;
}

} // namespace

void forgetFolders()
{
    lastFolders().clear();
}

QString GetSaveFileName(QWidget *owner, const QString &title, const QString &proposed,
                        const QStringList &filters, int *filterIndex)
{
    if (saveNameHandler())
        return saveNameHandler()(proposed, filterIndex);
    QFileDialog dlg(owner, title);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    return runFileDialog(dlg, dialogKey(owner, title), proposed, filters, filterIndex);
}

QString GetOpenFileName(QWidget *owner, const QString &title, const QString &proposed,
                        const QStringList &filters, int *filterIndex)
{
    QFileDialog dlg(owner, title);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dlg, dialogKey(owner, title) + QStringLiteral("|open"), proposed, filters,
                         filterIndex);
}

void setSaveNameHandler(SaveNameHandler h)
{
    saveNameHandler() = std::move(h);
}

void setNoticeHandler(NoticeHandler h)
{
    noticeHandler() = std::move(h);
}

void setQuestionHandler(QuestionHandler h)
{
    questionHandler() = std::move(h);
}

void ShowNotice(QWidget *owner, const QString &text)
{
    if (noticeHandler()) {
        noticeHandler()(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, kProgramName, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void ShowError(QWidget *owner, const QString &text)
{
    if (noticeHandler()) {
        noticeHandler()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, kProgramName, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool AskYesNo(QWidget *owner, const QString &title, const QString &text)
{
    if (questionHandler())
        return questionHandler()(title, text);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

void AskYesNoLater(QWidget *owner, const QString &title, const QString &text,
                   std::function<void(bool yes)> answered)
{
    if (questionHandler()) {
        answered(questionHandler()(title, text));
        return;
    }
    auto *box =
        new QMessageBox(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box, [box, answered = std::move(answered)](int) {
        answered(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    box->open();
}

void dismissModalDialogs()
{
    // Each one hidden makes the next one below it the active modal widget.
    for (int i = 0; i < 16; ++i) {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
        else
            w->close();
    }
}

QString versionText()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(TERVAXIS_VERSION_MAJOR)
        .arg(TERVAXIS_VERSION_MINOR)
        .arg(TERVAXIS_VERSION_PATCH)
        .arg(TERVAXIS_VERSION_TWEAK);
}

QTranslator *installToolkitTranslation(const QLocale &locale)
{
    auto *t = new QTranslator(QCoreApplication::instance());
    if (t->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(t))
        return t;
    delete t;
    return nullptr;
}

} // namespace dialogs
