// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs.h"

#include <QMessageBox>

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
} // namespace

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

QString versionText()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(TERVAXIS_VERSION_MAJOR)
        .arg(TERVAXIS_VERSION_MINOR)
        .arg(TERVAXIS_VERSION_PATCH)
        .arg(TERVAXIS_VERSION_TWEAK);
}

} // namespace dialogs
