// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
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
} // namespace

void setSaveNameHandler(SaveNameHandler h)
{
    saveNameHandler() = std::move(h);
}

QString GetSaveFileName(QWidget *owner, const QString &title, const QString &proposed,
                        const QStringList &filters, int *filterIndex)
{
    if (saveNameHandler())
        return saveNameHandler()(proposed, filterIndex);
    QFileDialog dlg(owner, title, proposed);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilters(filters);
    const int index = filterIndex ? *filterIndex : 1;
    if (index >= 1 && index <= filters.size())
        dlg.selectNameFilter(filters[index - 1]);
    dlg.selectFile(proposed);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    if (filterIndex)
        *filterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
    return dlg.selectedFiles().first();
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
