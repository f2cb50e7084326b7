// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lang/helpsearch.h"

#include <QDateTime>
#include <QWidget>

#include <atomic>
#include <thread>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextDocument;
class QTimer;
struct Settings;

// The text help window: the operator's guide with a search as you type and word wrap.
// The file is read and made into a document on a thread of its own, once, and again only
// when it changed on disk; the search goes through the text in slices.
class THELPf : public QWidget
{
    Q_OBJECT
public:
    explicit THELPf(const Settings &settings, QWidget *parent = nullptr);
    ~THELPf() override;

    QString helpFilePath() const;
    // True once the file's text (or the file error) is in the view.
    bool textReady() const { return m_ready; }
    // True while a search has not given its answer yet.
    bool searching() const;
    void findeChange();
    void nextbClick();
    void red1SelectionChange();
    void wrapcbClick();

signals:
    void textLoaded();
    void searched();

protected:
    void showEvent(QShowEvent *e) override;

private:
    struct Stamp
    {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp &) const = default;
    };
    void FormShow();
    void textArrived(QTextDocument *doc, const QString &folded, quint64 generation);
    void searchOn();
    void selectAt(qsizetype at);
    void replaceDocument(QTextDocument *doc);

    const Settings &m_s;
    QPlainTextEdit *m_red1 = nullptr;
    QLineEdit *m_finde = nullptr;
    QPushButton *m_nextb = nullptr;
    QLabel *m_foundl = nullptr;
    QCheckBox *m_wrapcb = nullptr;
    qsizetype m_position = 0;

    Stamp m_stamp;
    bool m_ready = false;
    QString m_folded; // the view's text in upper case, for the search
    std::thread m_loader;
    std::atomic<quint64> m_generation{0};
    QTextDocument *m_doc = nullptr;

    help::SliceSearch m_search;
    QTimer *m_searchLater = nullptr;
    // The last answered search: typing one more letter searches on from its hit.
    QString m_lastWhat;
    qsizetype m_lastHit = -1;
};
