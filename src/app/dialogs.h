// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QLocale;
class QTranslator;
class QWidget;

// The program's message boxes. Tests install handlers instead of clicking modal boxes.
namespace dialogs {

inline const QString kProgramName = QStringLiteral("Tervaxis");

// OK box with a warning icon, titled with the program name.
void ShowNotice(QWidget *owner, const QString &text);
// Yes/No question with "No" as default; true on "Yes".
bool AskYesNo(QWidget *owner, const QString &title, const QString &text);
// The same question without a nested event loop: the answer comes to `answered` later
// (at once where a test handler answers), so timers and measuring go on meanwhile.
void AskYesNoLater(QWidget *owner, const QString &title, const QString &text,
                   std::function<void(bool yes)> answered);
// Closes every modal box and dialog that is open, as if cancelled (the session ends).
void dismissModalDialogs();
// Error box for failures the user must see (a file that could not be written).
void ShowError(QWidget *owner, const QString &text);

// File dialogs open in the folder last used in the same dialog (the owner's class and the
// title tell dialogs apart), else in the folder `proposed` names, which callers give as the
// data folder. `filterIndex` is 1-based in and out. Empty when cancelled.
QString GetSaveFileName(QWidget *owner, const QString &title, const QString &proposed,
                        const QStringList &filters, int *filterIndex);
QString GetOpenFileName(QWidget *owner, const QString &title, const QString &proposed,
                        const QStringList &filters, int *filterIndex);
// Every dialog back to its first folder (between tests).
void forgetFolders();

using NoticeHandler = std::function<void(const QString &text)>;
using SaveNameHandler = std::function<QString(const QString &proposed, int *filterIndex)>;
void setSaveNameHandler(SaveNameHandler h);
using QuestionHandler = std::function<bool(const QString &title, const QString &text)>;
// An empty handler restores the real boxes.
void setNoticeHandler(NoticeHandler h);
void setQuestionHandler(QuestionHandler h);

// The toolkit's own texts (Yes, No, Cancel of the boxes, the file dialogs) in the locale's
// language, where the system has them; null when it has none. The application owns it.
QTranslator *installToolkitTranslation(const QLocale &locale);

// "Tervaxis v 1.0.0.1" style four-part version.
QString versionText();

} // namespace dialogs
